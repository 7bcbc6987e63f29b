// Service mode and the control modes as separate processes on one simulated machine: "/start"
// runs the guard, "/stop" and "/uninstall" ask it over channel "default". Until the driver
// bring-up is part of the build, the guard takes its failed-start path: it stops by itself after
// 2 s, holds its emergency delay of 20 s and exits, answering commands all the while.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <regex>

#include "../platform/child_process.h"
#include "support/debug_output.h"
#include "support/run_command.h"
#include "support/sim_root.h"
#include "text/utf.h"

namespace {

// The index of the first line at or after `from` that contains `text`, or npos.
std::size_t find_line(const std::vector<std::string>& lines, const std::string& text, std::size_t from = 0) {
  for (std::size_t i = from; i < lines.size(); ++i) {
    if (lines[i].find(text) != std::string::npos) return i;
  }
  return std::string::npos;
}

std::size_t count_lines(const std::vector<std::string>& lines, const std::string& text) {
  std::size_t count = 0;
  for (const std::string& line : lines) count += line.find(text) != std::string::npos ? 1 : 0;
  return count;
}

}  // namespace

class ServiceMode : public testing_support::FreshHost {
 protected:
  void SetUp() override {
    FreshHost::SetUp();
    output_ = std::make_unique<testing_support::DebugOutput>(native_dir());
    ASSERT_EQ("", output_->error());
    // A copy of its own: "/stop" looks for another process of the same image, and other tests
    // run the guard from the build folder at the same time.
    guard_ = win_path(std::string("guard/vostrelusb") + platform_test::kExe);
    platform_test::copy_helper("vostrelusb", native_dir() + "/guard", std::string("vostrelusb") + platform_test::kExe);
  }

  platform_test::Started start_guard(const std::u16string& parameters) {
    return platform_test::shell_execute(guard_, parameters);
  }

  // Runs the guard with `parameters` and waits for it to end.
  bool run_guard(const std::u16string& parameters) {
    platform_test::Started run = start_guard(parameters);
    return run.ok && os::WaitForSingleObject(run.process.get(), 30000) == WAIT_OBJECT_0;
  }

  void TearDown() override {
    output_.reset();
    FreshHost::TearDown();
  }

  // Every line written on the machine until now (UTF-8, without line ends).
  std::vector<std::string> all_lines() {
    std::vector<std::string> lines;
    for (const std::u16string& line : output_->stop()) lines.push_back(text::to_utf8(line));
    return lines;
  }

  std::u16string guard_;
  std::unique_ptr<testing_support::DebugOutput> output_;
};

TEST_F(ServiceMode, StopAgainstARunningStartStopsIt) {
  platform_test::Started service = start_guard(u"/start");
  ASSERT_TRUE(service.ok);
  ASSERT_TRUE(output_->wait_for_line(u"*** USB STARTED.", std::chrono::seconds(20)));

  EXPECT_TRUE(run_guard(u"/start"));  // a second service instance ends at once
  EXPECT_TRUE(run_guard(u"/stop"));
  EXPECT_TRUE(run_guard(u"/uninstall"));

  ASSERT_EQ(WAIT_OBJECT_0, os::WaitForSingleObject(service.process.get(), 60000));
  service.process.reset();

  const auto lines = all_lines();
  EXPECT_EQ(1u, count_lines(lines, "-> *** USB STARTED."));
  const std::size_t result = find_line(lines, "-> Stop result: ");
  ASSERT_NE(std::string::npos, result);
  EXPECT_TRUE(lines[result].ends_with("-> Stop result: 1")) << lines[result];
  EXPECT_EQ(1u, count_lines(lines, "Stop result: "));  // "/uninstall" writes no result line

  const std::regex listener(R"(.*int class_commp::listen:\d+ -> listener \[\\\\\.\\pipe\\vostrel_comm_default_\d+\])");
  EXPECT_EQ(1, std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return std::regex_match(l, listener); }));
  const std::size_t enter = find_line(lines, "thread_communication_default:");
  ASSERT_NE(std::string::npos, enter);
  EXPECT_TRUE(lines[enter].ends_with("-> > Enter")) << lines[enter];

  // The service's own lines in their order.
  std::size_t at = 0;
  for (const char* text : {"-> *** USB STARTED.", "read_config", "driver_start", "-> *** USB STOPPED.", "driver_stop",
                           "-> Emergency delay...", "-> Exit."}) {
    const std::size_t next = find_line(lines, text, at);
    ASSERT_NE(std::string::npos, next) << text;
    at = next + 1;
  }
  EXPECT_LT(find_line(lines, "-> *** USB STARTED."), result);
  EXPECT_EQ(std::string::npos, find_line(lines, "! Force process termination."));
  EXPECT_EQ(4u, count_lines(lines, "-> LANG(U): "));  // the service and the three short runs
}

TEST_F(ServiceMode, StopWithoutAServiceGetsAnEmptyResult) {
  EXPECT_TRUE(run_guard(u"/stop"));
  const auto lines = all_lines();
  ASSERT_EQ(4u, lines.size());
  EXPECT_TRUE(lines[3].ends_with("-> Stop result: ")) << lines[3];
}

#ifndef _WIN32
// The first start on a desktop with an unknown memory stick: the current list without the stick,
// and the stick's drive ejected and reported while the machine has been up for less than five
// minutes, left alone after that.
TEST_F(ServiceMode, FirstStartEjectsAnUnknownStickOnlyWithinFiveMinutesOfBoot) {
  // The driver images the guard installs from its own folder.
  for (const char* image : {"vostusb.sys", "vostusb10.sys"})
    std::filesystem::copy_file(testing_support::native_path(bin_path(image)), native_dir() + "/guard/" + image);
  auto sim = [&](const std::vector<std::string>& args) {
    const auto result = testing_support::run_built("vostusb-sim", args, native_dir());
    ASSERT_EQ(0, result.status) << result.err;
  };
  auto data_native = [](const std::string& sub) {
    return testing_support::native_path(u"C:\\ProgramData\\kavenor\\" + text::from_utf8(sub));
  };
  auto report_count = [&]() {
    std::size_t count = 0;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(data_native("logs"), error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
      count += it->is_regular_file() && it->path().string().ends_with("-1403.json");
    return count;
  };

  struct Case {
    const char* uptime_ms;
    bool ejected;
  } const cases[] = {{"60000", true}, {"400000", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.uptime_ms);
    std::filesystem::remove_all(data_native(""));
    testing_support::write_native_file(data_native("cfg/cfg.json"), R"({"usb": {"active": 1, "action": 0}})");
    sim({"machine", "load", std::string(VOSTUSB_FIXTURES) + "/machines/desktop.json"});
    sim({"boot", "--uptime", c.uptime_ms});
    sim({"plug", "1-3", std::string(VOSTUSB_FIXTURES) + "/devices/usb_stick.json"});
    ASSERT_EQ(static_cast<UINT>(DRIVE_REMOVABLE), os::GetDriveTypeW(u"E:\\"));

    platform_test::Started service = start_guard(u"/start");
    ASSERT_TRUE(service.ok);
    const bool up = output_->wait_for_line(u"User mode enable done.", std::chrono::seconds(60));
    if (!up) {
      for (const std::u16string& line : output_->stop()) ADD_FAILURE() << text::to_utf8(line);
    }
    platform_test::Started stop = start_guard(u"/stop");
    ASSERT_TRUE(stop.ok);
    ASSERT_EQ(WAIT_OBJECT_0, os::WaitForSingleObject(service.process.get(), 60000));
    ASSERT_TRUE(up);

    // The current list: the desktop's keyboard, mouse and hub, not the stick.
    const std::u16string list = text::from_utf16le(testing_support::read_native_file(data_native("vostusb/current_usb.json")));
    EXPECT_NE(std::u16string::npos, list.find(u"\"=USB Optical Mouse\"")) << text::to_utf8(list);
    EXPECT_EQ(std::u16string::npos, list.find(u"Kingmax"));

    EXPECT_EQ(c.ejected ? DRIVE_NO_ROOT_DIR : DRIVE_REMOVABLE, os::GetDriveTypeW(u"E:\\"));
    EXPECT_EQ(c.ejected ? 1u : 0u, report_count());
    const std::u16string ejected = text::from_utf16le(testing_support::read_native_file(data_native("tmp/devices_ejected.txt")));
    EXPECT_EQ(c.ejected, ejected.find(u"\"numer\" : \"E0D55EA573DCF450E97C0D5A\"") != std::u16string::npos)
        << text::to_utf8(ejected);
    const auto shown = testing_support::run_built("vostusb-sim", {"machine", "show"}, native_dir());
    EXPECT_EQ(c.ejected, shown.out.find("E: removable (ejected)") != std::string::npos) << shown.out;
  }
}
#endif
