#include "process/diagnostics.h"

#include <gtest/gtest.h>

#include <regex>

#include "support/sim_root.h"
#include "text/utf.h"

TEST(FunctionName, CutAtParenthesisThenAfterCdecl) {
  const struct {
    const char* signature;
    std::u16string name;
  } cases[] = {
      {"int __cdecl CvostrelusbApp::InitInstance(void)", u" CvostrelusbApp::InitInstance"},
      {"BOOL CvostrelusbApp::InitInstance()", u"BOOL CvostrelusbApp::InitInstance"},
      {"void __cdecl _COUT(const wchar_t *)", u" _COUT"},
      {"(anonymous)", u"(anonymous)"},                 // "(" at position 0 stays
      {"__cdecl f(int)", u"__cdecl f"},                 // "__cdecl" at position 0 stays
      {"plain", u"plain"},
      {"void f()::<lambda()>", u"void f"},
      {"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.name, diag::function_name(c.signature)) << c.signature;
}

TEST(MessageFilter, PercentBecomesUnderscoreAndTextIsCut) {
  EXPECT_EQ(u"100_ done", diag::message_filter(u"100% done"));
  EXPECT_EQ(u"%%", std::u16string(u"%%"));  // the input is not touched
  EXPECT_EQ(std::u16string(128, u'x'), diag::message_filter(std::u16string(200, u'x')));
  EXPECT_EQ(std::u16string(128, u'_'), diag::message_filter(std::u16string(129, u'%')));
  EXPECT_EQ(u"", diag::message_filter(u""));
}

TEST(LocalTime, Shapes) {
  EXPECT_TRUE(std::regex_match(text::to_utf8(diag::local_time_text()),
                               std::regex(R"(\d{4}\.\d{2}\.\d{2} \d{2}:\d{2}:\d{2})")));
  EXPECT_TRUE(std::regex_match(text::to_utf8(diag::local_time_stamp()), std::regex(R"(\d{14})")));
}

class DiagnosticLines : public testing_support::FreshHost {
 protected:
  DiagnosticLines() { capture_debug_output(); }
};

TEST_F(DiagnosticLines, LinesCarryThreadFunctionAndLine) {
  _COUT(u"100% done");
  ODS(u"value %i of %s", 7, u"ten");
  ODS(u"%s", std::u16string(5000, u'y'));
  _COUT(std::u16string(200, u'z'));
  const auto lines = debug_lines();
  ASSERT_EQ(4u, lines.size());
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\[ODS\]\[[0-9a-f]{8}\]  _COUT:\d+ -> 100_ done\r\n)"))) << lines[0];
  EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(\[ODS\]\[[0-9a-f]{8}\] .*TestBody:\d+ -> value 7 of ten\r\n)")))
      << lines[1];
  EXPECT_TRUE(std::regex_match(lines[2], std::regex(R"(\[ODS\]\[[0-9a-f]{8}\] .*TestBody:\d+ ->  log buffer too small\r\n)")))
      << lines[2];
  EXPECT_NE(std::string::npos, lines[3].find("-> " + std::string(128, 'z') + "\r\n"));
}

TEST_F(DiagnosticLines, FormatDirectivesInOutsideTextDoNothing) {
  _COUT(u"%s%s%n%d");
  const auto lines = debug_lines();
  ASSERT_EQ(1u, lines.size());
  EXPECT_NE(std::string::npos, lines[0].find("-> _s_s_n_d\r\n")) << lines[0];
}
