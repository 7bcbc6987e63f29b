// The guard as a whole process on a fresh machine: the start of every run and the run modes that
// need nothing from later subsystems.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>

#include "platform/handle.h"
#include "support/run_command.h"
#include "support/sim_root.h"
#include "support/wine.h"
#include "text/utf.h"

class GuardStart : public testing_support::FreshHost {
 protected:
  GuardStart() { capture_debug_output(); }
  testing_support::CommandResult run(const std::vector<std::string>& args) {
    return testing_support::run_built("vostrelusb", args, native_dir());
  }
  std::string all_lines() const {
    std::string all;
    for (const auto& line : debug_lines()) all += line;
    return all;
  }
  std::string handover_native() const {
    return testing_support::native_path(u"C:\\ProgramData\\kavenor\\tmp\\vostusbtmppath.txt");
  }
};

TEST_F(GuardStart, NoSwitchWritesTheThreeStartLinesAndEnds) {
  const auto result = run({});
  EXPECT_EQ(0, result.status);
  const auto lines = debug_lines();
  ASSERT_EQ(3u, lines.size());
  const std::regex prefix(R"(\[ODS\]\[[0-9a-f]{8}\] .*:\d+ -> .*\r\n)");
  for (const auto& line : lines) EXPECT_TRUE(std::regex_match(line, prefix)) << line;
  EXPECT_NE(std::string::npos, lines[0].find("-> LANG(U): "));
  EXPECT_NE(std::string::npos, lines[1].find("-> LANG(S): "));
  EXPECT_NE(std::string::npos, lines[2].find("-> User   : "));
}

TEST_F(GuardStart, PendingListRequestMakesEveryStartTheWriter) {
  testing_support::write_native_file(handover_native(), text::to_utf16le(u"C:\\Out\\List 100%.json"));
  os::unique_handle request(os::CreateMutexW(nullptr, FALSE, u"Global\\VOSTUSB_MTX_USB_218718798712398123"));
  ASSERT_TRUE(request);
  run({"/start"});
  const auto lines = debug_lines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_NE(std::string::npos, lines[3].find("-> USB list path: C:\\Out\\List 100_.json\r\n")) << lines[3];
  EXPECT_EQ("", testing_support::read_native_file(handover_native()));  // deleted
  // Nothing to hand over: the writer ends without a path line.
  run({"/start"});
  EXPECT_EQ(3u, debug_lines().size() - lines.size());
}

TEST_F(GuardStart, DeviceListRequestHandsItsPathToTheStartedService) {
  const auto result = run({"/GUD:\"C:\\Out Dir\\List.JSON\""});
  EXPECT_EQ(0, result.status);
  // The request writes the path (in lower case) into the hand-over file and starts the guard as a
  // service through sc.exe: its start lines follow the request's own.
  const auto lines = debug_lines();
  const std::string all = all_lines();
  ASSERT_GE(lines.size(), 6u) << all;
  EXPECT_NE(std::string::npos, lines[5].find("-> User   : ")) << all;
  // The started service takes the path and deletes the file.
  EXPECT_NE(std::string::npos, all.find("-> USB list path: c:\\out dir\\list.json\r\n")) << all;
  EXPECT_EQ("", testing_support::read_native_file(handover_native()));
  // It writes the list of the machine's devices there, as UTF-8: the default desktop's, or none
  // under Wine, which has no USB host controllers.
  const std::string list = testing_support::read_native_file(testing_support::native_path(u"c:\\out dir\\list.json"));
  EXPECT_EQ(0u, list.find("{\r\n    \"rules\" : [")) << list;
  if (testing_support::under_wine()) {
    EXPECT_EQ("{\r\n    \"rules\" : [\r\n    ]\r\n}", list);
  } else {
    EXPECT_NE(std::string::npos, list.find("\"produkt\" : \"=USB Optical Mouse\"")) << list;
  }
  // The request mutex is gone with the process.
  EXPECT_EQ(nullptr, os::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, u"Global\\VOSTUSB_MTX_USB_218718798712398123"));
}

// Requests whose path leads nowhere: each ends with a defined outcome and leaves the files as they
// should be found.
TEST_F(GuardStart, DeviceListRequestsThatCannotBeWritten) {
  // An empty value: the hand-over file stays, empty; the started copy reads nothing and writes no
  // path line.
  EXPECT_EQ(0, run({"/gud:"}).status);
  EXPECT_EQ(std::string::npos, all_lines().find("-> USB list path: ")) << all_lines();
  EXPECT_TRUE(std::filesystem::exists(handover_native()));
  EXPECT_EQ("", testing_support::read_native_file(handover_native()));
  std::remove(handover_native().c_str());

  // A path below a file: the copy takes the path, cannot write there and says so.
  const std::string blocker = testing_support::native_path(u"C:\\blocker");
  testing_support::write_native_file(blocker, "keep");
  EXPECT_EQ(0, run({"/gud:C:\\blocker\\list.json"}).status);
  const std::string all = all_lines();
  EXPECT_NE(std::string::npos, all.find("-> USB list path: c:\\blocker\\list.json\r\n")) << all;
  EXPECT_NE(std::string::npos, all.find("-> Current USB list not written: c:\\blocker\\list.json\r\n")) << all;
  EXPECT_FALSE(std::filesystem::exists(handover_native()));
  EXPECT_EQ("keep", testing_support::read_native_file(blocker));
}
