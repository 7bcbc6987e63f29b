// Service mode and the control modes as separate processes on one simulated machine: "/start"
// runs the guard, which brings the driver up and waits; "/stop" and "/uninstall" ask it over
// channel "default" to take the driver down again, "/uninstall" also removing its service. On the
// simulated host the driver service runs the build's driver images, which sit next to the guard.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <regex>

#include "../platform/child_process.h"
#include "platform/handle.h"
#include "process/registry.h"
#include "support/debug_output.h"
#include "support/run_command.h"
#include "support/sim_root.h"
#include "text/utf.h"

using testing_support::find_line;

namespace {

std::size_t count_lines(const std::vector<std::string>& lines, const std::string& text) {
  std::size_t count = 0;
  for (const std::string& line : lines) count += line.find(text) != std::string::npos ? 1 : 0;
  return count;
}

// Asserts that `texts` appear in this order, each after the previous one; returns the index
// after the last one.
std::size_t expect_in_order(const std::vector<std::string>& lines, const std::vector<std::string>& texts, std::size_t at = 0) {
  for (const std::string& text : texts) {
    const std::size_t next = find_line(lines, text, at);
    EXPECT_NE(std::string::npos, next) << "missing or out of order: " << text;
    if (next == std::string::npos) return at;
    at = next + 1;
  }
  return at;
}

// The lines of a bring-up that succeeded, in their order.
const std::vector<std::string> kBroughtUp = {"-> internal_accept : ", "-> config : ", "-> sys : ",
                                             "-> Driver installed.", "-> Driver started.", "-> Driver attached.",
                                             "-> Hubs accepted done.", "-> User mode enable done."};

#ifndef _WIN32  // the driver runs on the simulated machine only
// The driver service's current state (SERVICE_RUNNING, ...), or 0 when it does not exist.
DWORD driver_service_state() {
  const os::unique_schandle manager(os::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return 0;
  const os::unique_schandle service(os::OpenServiceW(manager.get(), u"VostUsb", SERVICE_QUERY_STATUS));
  if (!service) return 0;
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (!os::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                                &needed)) {
    return 0;
  }
  return status.dwCurrentState;
}
#endif

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

  // The driver images the guard's "sys" path names, next to its copy.
  void install_driver_images() { platform_test::copy_driver_images(native_dir() + "/guard"); }

  // How many lines captured so far contain `fragment`.
  std::size_t lines_with(std::u16string_view fragment) const {
    const auto lines = output_->lines();
    return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::u16string& line) {
      return line.find(fragment) != std::u16string::npos;
    }));
  }

  // Starts the guard and waits until its bring-up has succeeded (earlier runs' lines not counted).
  platform_test::Started start_guard_with_driver() {
    const std::size_t before = lines_with(u"User mode enable done.");
    platform_test::Started service = start_guard(u"/start");
    EXPECT_TRUE(service.ok);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (lines_with(u"User mode enable done.") == before && std::chrono::steady_clock::now() < deadline) {
      os::Sleep(50);
    }
    EXPECT_LT(before, lines_with(u"User mode enable done.")) << "the driver did not come up";
    return service;
  }

  // Asks the running guard with `command` ("/stop" or "/uninstall") and waits until it has ended.
  void end_guard(platform_test::Started& service, const std::u16string& command) {
    EXPECT_TRUE(run_guard(command));
    EXPECT_EQ(WAIT_OBJECT_0, os::WaitForSingleObject(service.process.get(), 60000));
    service.process.reset();
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
  std::vector<std::string> all_lines() { return testing_support::utf8_lines(output_->stop()); }

  std::u16string guard_;
  std::unique_ptr<testing_support::DebugOutput> output_;
};

TEST_F(ServiceMode, StopAgainstARunningStartStopsIt) {
#ifndef _WIN32
  install_driver_images();
#endif
  platform_test::Started service = start_guard(u"/start");
  ASSERT_TRUE(service.ok);
  ASSERT_TRUE(output_->wait_for_line(u"*** USB STARTED.", std::chrono::seconds(20)));
#ifndef _WIN32
  ASSERT_TRUE(output_->wait_for_line(u"User mode enable done.", std::chrono::seconds(30)));
#endif

  EXPECT_TRUE(run_guard(u"/start"));  // a second service instance ends at once
  end_guard(service, u"/stop");

  const auto lines = all_lines();
  EXPECT_EQ(1u, count_lines(lines, "-> *** USB STARTED."));
  const std::size_t result = find_line(lines, "-> Stop result: ");
  ASSERT_NE(std::string::npos, result);
  EXPECT_TRUE(lines[result].ends_with("-> Stop result: 1")) << lines[result];
  EXPECT_EQ(1u, count_lines(lines, "Stop result: "));

  const std::regex listener(R"(.*int class_commp::listen:\d+ -> listener \[\\\\\.\\pipe\\vostrel_comm_default_\d+\])");
  EXPECT_EQ(1, std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return std::regex_match(l, listener); }));
  const std::size_t enter = find_line(lines, "thread_communication_default:");
  ASSERT_NE(std::string::npos, enter);
  EXPECT_TRUE(lines[enter].ends_with("-> > Enter")) << lines[enter];

  // The service's own lines in their order.
  std::size_t at = expect_in_order(lines, {"-> *** USB STARTED.", "read_config"});
#ifndef _WIN32
  at = expect_in_order(lines, kBroughtUp, at);
  expect_in_order(lines, {"-> *** USB STOPPED.", "-> User mode disabled.", "-> Exit."}, at);
  // "stop" leaves the driver installed and running, and no emergency delay is held.
  for (const char* absent : {"Driver stopped.", "Driver uninstalled.", "Emergency delay", " error: "}) {
    EXPECT_EQ(std::string::npos, find_line(lines, absent)) << absent;
  }
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), driver_service_state());
#else
  expect_in_order(lines, {"-> *** USB STOPPED.", "-> Exit."}, at);
#endif
  EXPECT_LT(find_line(lines, "-> *** USB STARTED."), result);
  EXPECT_EQ(std::string::npos, find_line(lines, "! Force process termination."));
  EXPECT_EQ(3u, count_lines(lines, "-> LANG(U): "));  // the service and the two short runs
}

#ifndef _WIN32  // the simulated machine runs the build's driver images; Windows needs a real driver
TEST_F(ServiceMode, SecondStartTakesTheRunningDriverAndUninstallRemovesIt) {
  install_driver_images();
  platform_test::Started first = start_guard_with_driver();
  end_guard(first, u"/stop");
  ASSERT_EQ(static_cast<DWORD>(SERVICE_RUNNING), driver_service_state());

  // The service exists and runs already: 1073 and 1056 count as success.
  platform_test::Started second = start_guard_with_driver();
  end_guard(second, u"/uninstall");

  const auto lines = all_lines();
  std::size_t at = expect_in_order(lines, kBroughtUp);
  at = expect_in_order(lines, {"-> User mode disabled.", "-> Exit."}, at);
  at = expect_in_order(lines, kBroughtUp, at);
  expect_in_order(lines, {"-> *** USB STOPPED.", "-> User mode disabled.", "-> Driver stopped.", "-> Driver uninstalled.",
                          "-> Exit."}, at);
  EXPECT_EQ(std::string::npos, find_line(lines, " error: "));
  EXPECT_EQ(1u, count_lines(lines, "Stop result: "));  // "/uninstall" writes no result line
  EXPECT_EQ(0u, driver_service_state());
}

TEST_F(ServiceMode, MissingDriverImageEndsTheServiceByItself) {
  platform_test::Started service = start_guard(u"/start");
  ASSERT_TRUE(service.ok);
  // The failed start stops by itself after 2 s and holds its emergency delay of 20 s.
  ASSERT_EQ(WAIT_OBJECT_0, os::WaitForSingleObject(service.process.get(), 60000));
  service.process.reset();

  const auto lines = all_lines();
  const std::size_t at = expect_in_order(lines, {"-> Driver installed."});
  const std::size_t error = find_line(lines, "-> Driver starting error: 2 : ", at);
  ASSERT_NE(std::string::npos, error);
  EXPECT_FALSE(lines[error].ends_with(" : ")) << "the status text is missing: " << lines[error];
  // The tear-down still runs: without a device the user test cannot be switched off.
  expect_in_order(lines, {"-> *** USB STOPPED.", "-> User mode disable error: 2 : ", "-> Emergency delay...", "-> Exit."},
                  error);
  EXPECT_EQ(std::string::npos, find_line(lines, "Driver attached."));
}

TEST_F(ServiceMode, Windows10FamilyRepairsTheImagePathOfAnOlderInstallation) {
  install_driver_images();
  // The driver installed while the machine ran an older Windows names "vostusb.sys".
  platform_test::Started older = start_guard_with_driver();
  end_guard(older, u"/stop");
  const std::u16string key = u"SYSTEM\\CurrentControlSet\\Services\\VostUsb";
  ASSERT_EQ(win_path("guard/vostusb.sys"), registry::reg_read_string(key, u"ImagePath", u""));

  // After the upgrade the next start repairs the image path; the running driver is taken as it is.
  ASSERT_EQ(1, registry::reg_write_string(u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", u"ProductName",
                                          u"Windows 10 Pro"));
  platform_test::Started upgraded = start_guard_with_driver();
  EXPECT_EQ(win_path("guard/vostusb10.sys"), registry::reg_read_string(key, u"ImagePath", u""));
  end_guard(upgraded, u"/uninstall");

  const auto lines = all_lines();
  const std::size_t at = expect_in_order(lines, kBroughtUp);
  expect_in_order(lines, kBroughtUp, at);
  EXPECT_NE(std::string::npos, find_line(lines, "-> sys : " + text::to_utf8(win_path("guard/vostusb10.sys"))));
  EXPECT_EQ(std::string::npos, find_line(lines, " error: "));
}
#endif

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
  install_driver_images();
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

    platform_test::Started service = start_guard_with_driver();
    end_guard(service, u"/stop");

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
