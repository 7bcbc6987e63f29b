// The guard itself against the test driver under Wine: "/start" installs the test driver (laid out
// as the driver file beside the guard's program) as the service "VostUsb", brings it up and
// decides the devices the test queues by the rules of its configuration; "/stop" leaves the driver
// running, and "/uninstall" takes it down and deletes its service.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "../platform/child_process.h"
#include "config/config_host.h"
#include "decision/device_texts.h"
#include "driver/driver_link.h"
#include "driver/driver_service.h"
#include "process/named_paths.h"
#include "support/debug_output.h"
#include "text/utf.h"

namespace hub_link = testing_support::driver;
using testing_support::find_line;

namespace {

const std::u16string kStick =
    decision_test::device_text(u"Kingston", u"DataTraveler 3.0", u"60A44C413AB2", u"USB", u"USB Mass Storage Device");
const std::u16string kKeyboard =
    decision_test::device_text(u"Zakład Łódź", u"Klawiatura", u"", u"HIDClass", u"USB Input Device");
const std::u16string kMouse = decision_test::device_text(u"Logitech", u"USB Receiver", u"", u"HIDClass", u"Mysz");

// The stick is allowed and the keyboard blocked by a rule each; the mouse, which no rule names, is
// blocked by the action.
constexpr char kConfig[] =
    R"({"usb":{"active":1,"action":0,"allow_io":1,"allow_printers":1,"allow_network":1,"report_on_allow":0,)"
    R"("allow_initial":0,"rules":[[{"produkt":"=DataTraveler 3.0"},1],[{"produkt":"=Klawiatura"},0]]}})";

class GuardOnTestDriver : public testing_support::ConfigHost {
 protected:
  void SetUp() override {
    ConfigHost::SetUp();
    testing_support::remove_driver_service();
    write_config(kConfig);
    // The guard installs the driver file of its own folder ("sys").
    const std::string folder = native_dir() + "\\guard";
    platform_test::copy_helper("vostrelusb", folder, "vostrelusb.exe");
    std::filesystem::copy_file(std::filesystem::path(VOSTUSB_BIN_DIR) / "vostusb-test-driver.sys",
                               std::filesystem::path(folder) / text::to_utf8(driver_file_name()));
    guard_ = win_path("guard\\vostrelusb.exe");
    output_ = std::make_unique<testing_support::DebugOutput>(native_dir());
    ASSERT_EQ("", output_->error());
  }
  void TearDown() override {
    if (service_.process) platform_test::end_process(service_.process.get());
    output_.reset();
    testing_support::remove_driver_service();
    ConfigHost::TearDown();
  }

  // Runs "/start" and waits until its bring-up has ended (the `round`-th one of this test).
  void start_guard(std::size_t round) {
    service_ = platform_test::shell_execute(guard_, u"/start");
    ASSERT_TRUE(service_.ok) << service_.error;
    const DWORD started = os::GetTickCount();
    while (count_lines("-> User mode enable") < round) {
      ASSERT_LT(os::GetTickCount() - started, 30000u) << "no bring-up";
      os::Sleep(100);
    }
  }

  // Asks the running guard for `command` ("/stop", "/uninstall") and waits until it has ended.
  void end_guard(const std::u16string& command) {
    platform_test::Started asker = platform_test::shell_execute(guard_, command);
    ASSERT_TRUE(asker.ok) << asker.error;
    EXPECT_EQ(os::WaitForSingleObject(asker.process.get(), 30000), WAIT_OBJECT_0);
    ASSERT_EQ(os::WaitForSingleObject(service_.process.get(), 30000), WAIT_OBJECT_0) << "the guard did not end";
    service_.process.reset();
  }

  std::size_t count_lines(std::string_view text) const {
    std::size_t count = 0;
    for (const std::string& line : testing_support::utf8_lines(output_->lines()))
      count += line.find(text) != std::string::npos ? 1 : 0;
    return count;
  }

  std::u16string guard_;
  platform_test::Started service_;
  std::unique_ptr<testing_support::DebugOutput> output_;
};

// The guard's whole life with a driver: the first start installs and starts it and decides the
// devices; "/stop" leaves it installed and running with the user test off and its accepted lists
// cleared; the next start takes over the installed and running driver; "/uninstall" removes it.
TEST_F(GuardOnTestDriver, DecidesQueuedDevicesByTheRulesAndTakesTheDriverDownOnlyOnUninstall) {
  ASSERT_NO_FATAL_FAILURE(start_guard(1));
  EXPECT_TRUE(testing_support::driver_service_installed());
  os::unique_hfile hub = hub_link::open_device();
  ASSERT_TRUE(hub) << "the guard's driver is not loaded: " << os::GetLastError();
  const hub_link::DriverState on = hub_link::read_state(hub.get());
  EXPECT_TRUE(on.user_test_on);
  EXPECT_EQ(on.answer_timeout, 1200000000);
  EXPECT_TRUE(on.default_accepted);
  EXPECT_TRUE(on.hubs_accepted);

  std::vector<hub_link::DriverState::Answer> expected;
  for (const auto& [text, refused] : {std::pair{kStick, false}, {kKeyboard, true}, {kMouse, true}}) {
    const hub_link::Queued queued = hub_link::queue_request(hub.get(), text);
    ASSERT_TRUE(queued.reply.ok) << queued.reply.error;
    expected.push_back({queued.id, refused});
  }
  const hub_link::DriverState decided =
      hub_link::wait_for_answers(hub.get(), on.answers.size() + expected.size(), 20000);
  EXPECT_EQ(decided.pending, 0u);
  ASSERT_EQ(decided.answers.size(), on.answers.size() + expected.size());
  EXPECT_EQ(std::vector<hub_link::DriverState::Answer>(decided.answers.end() - expected.size(), decided.answers.end()),
            expected);

  // Nothing but the guard holds the device when it takes the driver down.
  hub.reset();
  ASSERT_NO_FATAL_FAILURE(end_guard(u"/stop"));
  EXPECT_TRUE(testing_support::driver_service_installed());
  hub = hub_link::open_device();
  ASSERT_TRUE(hub) << "\"/stop\" unloaded the driver: " << os::GetLastError();
  const hub_link::DriverState stopped = hub_link::read_state(hub.get());
  EXPECT_FALSE(stopped.user_test_on);
  EXPECT_EQ(stopped.names_cleared, on.names_cleared + 1);
  EXPECT_EQ(stopped.types_cleared, on.types_cleared + 1);
  hub.reset();

  ASSERT_NO_FATAL_FAILURE(start_guard(2));
  hub = hub_link::open_device();
  ASSERT_TRUE(hub) << os::GetLastError();
  EXPECT_TRUE(hub_link::read_state(hub.get()).user_test_on);
  hub.reset();
  ASSERT_NO_FATAL_FAILURE(end_guard(u"/uninstall"));
  EXPECT_FALSE(testing_support::driver_service_installed());
  EXPECT_FALSE(hub_link::open_device()) << "the driver is still loaded";

  const std::vector<std::string> lines = testing_support::utf8_lines(output_->stop());
  std::string all;
  for (const std::string& line : lines) all += line + "\n";
  const std::size_t sys = find_line(lines, "-> sys : ");
  ASSERT_NE(sys, std::string::npos) << all;
  EXPECT_TRUE(lines[sys].ends_with("\\guard\\" + text::to_utf8(driver_file_name()))) << lines[sys];
  // Each run's bring-up and tear-down, step by step in order. The second finds the service
  // installed (1073) and running (1056), both taken as success; so it waits for no state.
  const std::vector<std::string> attached_to_disabled = {"-> Driver attached.", "-> Hubs accepted done.",
                                                         "-> User mode enable done.", "-> *** USB STOPPED.",
                                                         "-> User mode disabled."};
  std::vector<std::string> steps = {"-> Driver installed.", "-> DriverStateCallback: 4", "-> Driver started."};
  steps.insert(steps.end(), attached_to_disabled.begin(), attached_to_disabled.end());
  steps.insert(steps.end(), {"-> Exit.", "-> Driver installed.", "-> Driver started."});
  steps.insert(steps.end(), attached_to_disabled.begin(), attached_to_disabled.end());
  steps.insert(steps.end(), {"-> DriverStateCallback: 1", "-> Driver stopped.", "-> Driver uninstalled.", "-> Exit."});
  std::size_t at = sys;
  for (const std::string& step : steps) {
    const std::size_t next = find_line(lines, step, at);
    ASSERT_NE(next, std::string::npos) << step << " after line " << at << ":\n" << all;
    at = next + 1;
  }
  const std::size_t first_exit = find_line(lines, "-> Exit.");
  EXPECT_GT(find_line(lines, "-> Driver stopped."), first_exit) << "\"/stop\" stopped the driver:\n" << all;
  EXPECT_EQ(find_line(lines, "-> DriverStateCallback: 4", find_line(lines, "-> Driver started.") + 1),
            std::string::npos)
      << "the second start waited for the running driver:\n"
      << all;
}

}  // namespace
