#include "text/number.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

TEST(Number, Wtoi) {
  const struct {
    std::u16string in;
    int out;
  } cases[] = {
      {u"42", 42},          {u"  -17xyz", -17}, {u"+5", 5},          {u"", 0},
      {u"abc", 0},          {u"2.64228E+009", 2}, {u"99999999999", INT_MAX}, {u"-99999999999", INT_MIN},
      {u"\u00a012", 12},    {u"- 1", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(c.out, text::wtoi(c.in)) << std::string(c.in.begin(), c.in.end());
}

TEST(Number, Wcstol) {
  std::size_t end = 0;
  EXPECT_EQ(0x1f, text::wcstol(u"1fz", 16, &end));
  EXPECT_EQ(2u, end);
  EXPECT_EQ(0x1f, text::wcstol(u"0x1f", 16, &end));
  EXPECT_EQ(4u, end);
  EXPECT_EQ(0, text::wcstol(u"zz", 16, &end));
  EXPECT_EQ(0u, end);
  EXPECT_EQ(8, text::wcstol(u"010", 0));
  EXPECT_EQ(LONG_MAX > INT32_MAX ? INT32_MAX : LONG_MAX, text::wcstol(u"ffffffffff", 16));
}

TEST(Number, ScanDouble) {
  EXPECT_DOUBLE_EQ(2642280000.0, *text::scan_double(u"2.64228E+009"));
  EXPECT_DOUBLE_EQ(-0.5, *text::scan_double(u" -.5"));
  EXPECT_DOUBLE_EQ(12.0, *text::scan_double(u"12e"));
  EXPECT_DOUBLE_EQ(3.0, *text::scan_double(u"3,5"));
  EXPECT_TRUE(std::isinf(*text::scan_double(u"1e999")));
  EXPECT_FALSE(text::scan_double(u"x1").has_value());
  EXPECT_FALSE(text::scan_double(u"").has_value());
  EXPECT_FALSE(text::scan_double(u".").has_value());
}

TEST(Number, ScanHex) {
  EXPECT_EQ(0xABCDu, *text::scan_hex(u"abcd"));
  EXPECT_EQ(0x10u, *text::scan_hex(u" 0x10"));
  EXPECT_EQ(0u, *text::scan_hex(u"0x"));
  EXPECT_EQ(0xFFFFFFFFu, *text::scan_hex(u"-1"));
  EXPECT_EQ(0x23456789u, *text::scan_hex(u"123456789"));
  EXPECT_FALSE(text::scan_hex(u"g").has_value());
}
