#include "text/utf.h"

#include <gtest/gtest.h>

TEST(Utf, ToUtf8CodeUnitByCodeUnitWithoutSurrogates) {
  EXPECT_EQ("A", text::to_utf8(u"A"));
  EXPECT_EQ("\xC5\xBC", text::to_utf8(u"ż"));
  EXPECT_EQ("\xE2\x82\xAC", text::to_utf8(u"€"));
  // A pair (U+1F600) and lone surrogates are all left out.
  EXPECT_EQ("ab", text::to_utf8(u"a\U0001F600b"));
  const char16_t lone[] = {u'x', 0xD800, u'y', 0xDC00, 0};
  EXPECT_EQ("xy", text::to_utf8(lone));
  EXPECT_EQ(std::string("a\0b", 3), text::to_utf8(std::u16string(u"a\0b", 3)));
}

TEST(Utf, FromUtf8) {
  EXPECT_EQ(u"zażółć", text::from_utf8("za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87"));
  EXPECT_EQ(u"\U0001F600", text::from_utf8("\xF0\x9F\x98\x80"));
  EXPECT_EQ(u"a\uFFFDb", text::from_utf8("a\xFF" "b"));
  EXPECT_EQ(u"\uFFFD", text::from_utf8("\xC5"));
  EXPECT_EQ(u"\uFFFD\uFFFD", text::from_utf8("\xC0\xAF"));
}

TEST(Utf, Utf16LeRoundTrip) {
  const std::u16string s = u"Łódź\u0000x";
  EXPECT_EQ(s, text::from_utf16le(text::to_utf16le(s)));
  EXPECT_EQ(std::string("A\0", 2), text::to_utf16le(u"A"));
  EXPECT_EQ(u"A", text::from_utf16le(std::string("A\0B", 3)));
}
