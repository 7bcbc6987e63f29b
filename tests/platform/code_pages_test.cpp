// Code pages and MultiByteToWideChar through os::.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/os.h"

namespace {

std::u16string convert(UINT code_page, const std::string& bytes, DWORD flags = 0) {
  char16_t out[64];
  const int n = os::MultiByteToWideChar(code_page, flags, bytes.data(), static_cast<int>(bytes.size()), out, 64);
  return n > 0 ? std::u16string(out, static_cast<std::size_t>(n)) : u"<failed>";
}

}  // namespace

TEST(CodePages, ConversionTable) {
  struct Case {
    UINT code_page;
    std::string bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {1252, "plain", u"plain"},
      {1252, "\x80\x9F\xE9\xFF", u"€Ÿéÿ"},
      {1252, "\x81\x8D", u"\u0081\u008D"},  // undefined bytes become the C1 controls
      {1250, "\xA3\xF3\x64\x9F", u"Łódź"},
      {1250, "\x8C\x9C\xB9\xEA", u"Śśąę"},
      {CP_UTF8, "za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87", u"zażółć"},
      {CP_UTF8, "\xF0\x9F\x98\x80", u"\U0001F600"},
      {CP_UTF8, "a\xFF" "b", u"a\uFFFDb"},
      {CP_UTF8, "\xE2\x82", u"\uFFFD"},           // cut-off sequence
  };
  for (const Case& c : cases) EXPECT_EQ(c.text, convert(c.code_page, c.bytes)) << c.code_page << " " << c.bytes;
}

TEST(CodePages, AnEncodedSurrogateIsNotText) {
  // How many replacement characters it becomes differs between Windows versions; never a surrogate.
  const std::u16string text = convert(CP_UTF8, "\xED\xA0\x80");
  ASSERT_NE(u"<failed>", text);
  for (char16_t c : text) EXPECT_EQ(0xFFFD, c);
}

TEST(CodePages, StrictUtf8RefusesInvalidBytes) {
  EXPECT_EQ(u"<failed>", convert(CP_UTF8, "a\xFF", MB_ERR_INVALID_CHARS));
  EXPECT_EQ(ERROR_NO_UNICODE_TRANSLATION, os::GetLastError());
  EXPECT_EQ(u"ok", convert(CP_UTF8, "ok", MB_ERR_INVALID_CHARS));
}

TEST(CodePages, SizeRules) {
  char16_t out[8];
  // -1: up to and including the NUL.
  EXPECT_EQ(4, os::MultiByteToWideChar(1252, 0, "abc", -1, out, 8));
  EXPECT_EQ(std::u16string(u"abc\0", 4), std::u16string(out, 4));
  EXPECT_EQ(4, os::MultiByteToWideChar(1252, 0, "abc", -1, nullptr, 0));  // the needed size
  EXPECT_EQ(3, os::MultiByteToWideChar(CP_UTF8, 0, "a\xC5\xBC" "b", 4, nullptr, 0));
  EXPECT_EQ(0, os::MultiByteToWideChar(1252, 0, "abcdef", 6, out, 3));
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, os::GetLastError());
  EXPECT_EQ(0, os::MultiByteToWideChar(1252, 0, "abc", 0, out, 8));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, os::GetLastError());
  EXPECT_EQ(0, os::MultiByteToWideChar(1252, 0, nullptr, 3, out, 8));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, os::GetLastError());
}

#ifndef _WIN32
TEST(CodePages, TheSimulatedMachinesAnsiCodePage) {
  unsetenv("VOSTUSB_SIM_ACP");
  EXPECT_EQ(1252u, os::GetACP());
  EXPECT_EQ(u"£", convert(CP_ACP, "\xA3"));
  setenv("VOSTUSB_SIM_ACP", "1250", 1);
  EXPECT_EQ(1250u, os::GetACP());
  EXPECT_EQ(u"Ł", convert(CP_ACP, "\xA3"));
  unsetenv("VOSTUSB_SIM_ACP");
  EXPECT_EQ(0, os::MultiByteToWideChar(437, 0, "x", 1, nullptr, 0));  // not a code page of the machine
  EXPECT_EQ(ERROR_INVALID_PARAMETER, os::GetLastError());
}

TEST(CodePages, UiLanguagesDefaultToEnglishUnlessConfigured) {
  unsetenv("VOSTUSB_SIM_UI_LANGUAGE");
  EXPECT_EQ(1033, os::GetUserDefaultUILanguage());
  EXPECT_EQ(1033, os::GetSystemDefaultUILanguage());
  setenv("VOSTUSB_SIM_UI_LANGUAGE", "0x0415", 1);
  EXPECT_EQ(1045, os::GetUserDefaultUILanguage());
  setenv("VOSTUSB_SIM_UI_LANGUAGE", "bogus", 1);
  EXPECT_EQ(1033, os::GetSystemDefaultUILanguage());
  unsetenv("VOSTUSB_SIM_UI_LANGUAGE");
}
#endif
