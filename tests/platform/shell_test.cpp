// ShellExecuteExW: finding the program, its parameters as the program receives them, the working
// folder, and failures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "child_process.h"
#include "platform/handle.h"
#include "platform/os.h"
#include "support/sim_root.h"
#include "text/utf.h"

#ifndef _WIN32
#include "platform/sim/command_line.h"
#endif

namespace {

namespace fs = std::filesystem;
using platform_test::shell_execute;
using platform_test::wait_for_report;

class Shell : public platform_test::HelperHost {
 protected:
  std::string report_path() const { return native_dir() + "/report.txt"; }
  std::u16string probe_parameters(const std::string& rest) const {
    return text::from_utf8("\"" + report_path() + "\" 0 0" + (rest.empty() ? "" : " " + rest));
  }
};

TEST_F(Shell, ParametersArriveAsWindowsSplitsThem) {
  const std::string parameters = R"("a b" c\"d "e\\" f\\g "" h"i j"k \\\"x)";
  auto child = shell_execute(helper_path("probe_child"), probe_parameters(parameters));
  ASSERT_TRUE(child.ok) << child.error;
  const auto report = wait_for_report(report_path());
  ASSERT_TRUE(report.found);
  const std::vector<std::string> expected = {"a b", "c\"d", "e\\", "f\\\\g", "", "hi jk", "\\\"x"};
  EXPECT_EQ(expected, report.arguments);
}

TEST_F(Shell, TheWorkingFolderIsApplied) {
  fs::create_directories(native_dir() + "/work dir");
  auto child = shell_execute(helper_path("probe_child"), probe_parameters(""), win_path("work dir"));
  ASSERT_TRUE(child.ok) << child.error;
  const auto report = wait_for_report(report_path());
  ASSERT_TRUE(report.found);
  EXPECT_TRUE(fs::equivalent(native_dir() + "/work dir", report.folder)) << report.folder;
}

TEST_F(Shell, ABareNameIsFoundBesideTheRunningProgram) {
  auto child = shell_execute(text::from_utf8(std::string("probe_child") + platform_test::kExe), probe_parameters(""));
  ASSERT_TRUE(child.ok) << child.error;
  ASSERT_TRUE(child.process);
  ASSERT_TRUE(wait_for_report(report_path()).found);
  EXPECT_EQ(DWORD{WAIT_OBJECT_0}, os::WaitForSingleObject(child.process.get(), 5000));
}

TEST_F(Shell, AMissingProgramIsFileNotFound) {
  for (const std::u16string& file : {win_path("nothing-here.exe"), std::u16string(u"vostusb-no-such-program.exe")}) {
    auto child = shell_execute(file, u"");
    EXPECT_FALSE(child.ok) << text::to_utf8(file);
    EXPECT_EQ(DWORD{ERROR_FILE_NOT_FOUND}, child.error) << text::to_utf8(file);
    EXPECT_FALSE(child.process);
  }
}

TEST_F(Shell, WithoutNoCloseProcessThereIsNoHandle) {
  auto child = shell_execute(helper_path("probe_child"), probe_parameters(""), u"", 0);
  ASSERT_TRUE(child.ok) << child.error;
  EXPECT_FALSE(child.process);
  EXPECT_TRUE(wait_for_report(report_path()).found);
}

#ifndef _WIN32

TEST_F(Shell, TheChildReceivesItsWindowsCommandLine) {
  const std::u16string file = helper_path("probe_child");
  const std::u16string parameters = probe_parameters("\"x  y\" z");
  auto child = shell_execute(file, parameters);
  ASSERT_TRUE(child.ok) << child.error;
  const auto report = wait_for_report(report_path());
  ASSERT_TRUE(report.found);
  EXPECT_EQ(text::to_utf8(u"\"" + file + u"\" " + parameters), report.command_line);
}

TEST_F(Shell, ABareNameIsFoundOnPath) {
  platform_test::copy_helper("probe_child", native_dir() + "/on-path", "vostusb-path-probe");
  const std::string old_path = std::getenv("PATH") ? std::getenv("PATH") : "";
  ::setenv("PATH", (native_dir() + "/missing:" + native_dir() + "/on-path:" + old_path).c_str(), 1);
  auto child = shell_execute(u"vostusb-path-probe", probe_parameters(""));
  ::setenv("PATH", old_path.c_str(), 1);
  ASSERT_TRUE(child.ok) << child.error;
  EXPECT_TRUE(wait_for_report(report_path()).found);
}

TEST_F(Shell, FailuresOfTheStart) {
  testing_support::write_native_file(native_dir() + "/notes.txt", "not a program");
  fs::create_directories(native_dir() + "/folder");
  struct Case {
    std::u16string file;
    std::u16string directory;
    DWORD error;
  };
  const std::vector<Case> cases = {
      {win_path("notes.txt"), u"", ERROR_ACCESS_DENIED},                  // not executable
      {win_path("folder"), u"", ERROR_ACCESS_DENIED},                     // a folder
      {helper_path("probe_child"), win_path("no-folder"), ERROR_DIRECTORY},  // no working folder
      {u"", u"", ERROR_FILE_NOT_FOUND},
  };
  for (const Case& c : cases) {
    auto child = shell_execute(c.file, probe_parameters(""), c.directory);
    EXPECT_FALSE(child.ok) << text::to_utf8(c.file);
    EXPECT_EQ(c.error, child.error) << text::to_utf8(c.file);
  }
  ::chmod((native_dir() + "/notes.txt").c_str(), 0755);  // executable, but no program
  auto child = shell_execute(win_path("notes.txt"), u"");
  EXPECT_FALSE(child.ok);
  EXPECT_EQ(DWORD{ERROR_BAD_EXE_FORMAT}, child.error);
}

TEST_F(Shell, OnlyTheOpenVerbIsKnown) {
  os::SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.lpVerb = u"print";
  const std::u16string file = helper_path("probe_child");
  info.lpFile = file.c_str();
  EXPECT_FALSE(os::ShellExecuteExW(&info));
  EXPECT_EQ(DWORD{ERROR_CALL_NOT_IMPLEMENTED}, os::GetLastError());
  info.cbSize = 0;
  EXPECT_FALSE(os::ShellExecuteExW(&info));
  EXPECT_EQ(DWORD{ERROR_INVALID_PARAMETER}, os::GetLastError());
  EXPECT_FALSE(os::ShellExecuteExW(nullptr));
}

TEST(CommandLine, SplitsAsCommandLineToArgvW) {
  struct Case {
    std::u16string line;
    std::vector<std::u16string> arguments;
  };
  const std::vector<Case> cases = {
      {u"", {}},
      {u"  \t ", {}},
      {u"a b\tc", {u"a", u"b", u"c"}},
      {u"  a  ", {u"a"}},
      {u"\"a b\"", {u"a b"}},
      {u"\"\"", {u""}},
      {u"a \"\" b", {u"a", u"", u"b"}},
      {u"a\\b", {u"a\\b"}},
      {u"a\\\\b", {u"a\\\\b"}},
      {u"a\\\"b", {u"a\"b"}},
      {u"a\\\\\"b c\"", {u"a\\b c"}},
      {u"a\\\\\\\"b", {u"a\\\"b"}},
      {u"\"a\\\\\"", {u"a\\"}},
      {u"\"a\"\"b\"", {u"a\"b"}},
      {u"\"a\"\"b c\"", {u"a\"b", u"c"}},  // "" inside quotes: a quote, and the quoted part ends
      {u"\"\"\"a\"\"\"", {u"\"a\""}},
      {u"a\"b c\"d", {u"ab cd"}},
      {u"\"open", {u"open"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.arguments, os::sim::split_arguments(c.line)) << text::to_utf8(c.line);
  }
}

#endif

}  // namespace
