#include "text/format.h"

#include <gtest/gtest.h>

#include <climits>

using text::format;

struct FormatCase {
  std::u16string expected;
  std::u16string actual;
};

TEST(Format, ConversionsTheSystemUses) {
  const FormatCase cases[] = {
      {u"0000f2c", format(u"%.7x", 0xf2c)},
      {u"[ODS][00001a2b] f:12 -> ", format(u"[ODS][%.8x] %s:%i -> ", 0x1a2bu, u"f", 12)},
      {u"; err=0x0000007B", format(u"; err=0x%08lX", 123ul)},
      {u"; err=0xFFFFFFFF", format(u"; err=0x%08lX", -1)},
      {u"-42", format(u"%i", -42)},
      {u"2147483647 -2147483648", format(u"%d %d", INT_MAX, INT_MIN)},
      {u"2026.12.10 09:05:03", format(u"%.4i.%.2i.%.2i %.2i:%.2i:%.2i", 2026, 12, 10, 9, 5, 3)},
      {u"20261210090503", format(u"%.4i%.2i%.2i%.2i%.2i%.2i", 2026, 12, 10, 9, 5, 3)},
      {u"  7|7  |007", format(u"%3i|%-3i|%03i", 7, 7, 7)},
      {u"100%", format(u"100%%")},
      {u"abc", format(u"%s", std::u16string(u"abc"))},
      {u"ab", format(u"%.2s", u"abc")},
      {u"  x", format(u"%3s", u"x")},
      {u"zażółć", format(u"%s", u"zażółć")},
      {u"5", format(u"%s", 5)},
      {u"", format(u"%s")},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, c.actual);
}

TEST(Format, RealNumbersHaveThreeExponentDigits) {
  const FormatCase cases[] = {
      {u"2.64228E+009", format(u"%G", 2642280000.0)},
      {u"1E-005", format(u"%G", 0.00001)},
      {u"123456", format(u"%G", 123456.0)},
      {u"1.23457E+006", format(u"%G", 1234567.0)},
      {u"0.5", format(u"%G", 0.5)},
      {u"-3", format(u"%G", -3.0)},
      {u"1.500000", format(u"%f", 1.5)},
      {u"1.000000e+100", format(u"%e", 1e100)},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, c.actual);
}

TEST(Format, CharNulIsWrittenAsACodeUnit) {
  const std::u16string s = format(u"kod=%d%c", 5, u'\0');
  ASSERT_EQ(6u, s.size());
  EXPECT_EQ(u'\0', s.back());
}

TEST(Format, LimitReportsFailureOnlyWhenTheTextIsLonger) {
  const std::u16string exact(4096, u'a');
  EXPECT_TRUE(text::vformat(u"%s", {exact}, 4096).has_value());
  const std::u16string longer(4097, u'a');
  EXPECT_FALSE(text::vformat(u"%s", {longer}, 4096).has_value());
}
