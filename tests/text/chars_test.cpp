#include "text/chars.h"

#include <gtest/gtest.h>

TEST(Chars, SpaceClass) {
  for (char16_t c : {u'\t', u'\n', u'\v', u'\f', u'\r', u' ', u'\u00a0', u'\u3000', u'\u2028'}) EXPECT_TRUE(text::is_space(c)) << int(c);
  for (char16_t c : {u'a', u'\0', u'\ufeff', u'\u200b', u'_'}) EXPECT_FALSE(text::is_space(c)) << int(c);
}

TEST(Chars, LowerAzLeavesOtherLettersAlone) {
  EXPECT_EQ(u"explorer.exe ŁÓdŹ", text::lower_az(u"EXPLORER.exe ŁÓDŹ"));
  EXPECT_TRUE(text::equals_nocase_az(u"Windows 10", u"WINDOWS 10"));
  EXPECT_FALSE(text::equals_nocase_az(u"Ł", u"ł"));
}

TEST(Chars, FoldCaseForNames) {
  EXPECT_TRUE(text::equals_nocase(u"Software\\Kavenor", u"SOFTWARE\\kavenor"));
  EXPECT_TRUE(text::equals_nocase(u"ŁÓDŹ", u"łódź"));
  EXPECT_FALSE(text::equals_nocase(u"a", u"ab"));
}
