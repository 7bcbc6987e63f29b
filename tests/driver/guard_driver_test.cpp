// The guard itself against the test driver under Wine: "/start" installs the test driver (laid out
// as the driver file beside the guard's program) as the service "VostUsb", brings it up and
// decides the devices the test queues by the rules of its configuration; "/uninstall" then takes
// the driver down and deletes its service.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
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

  std::u16string guard_;
  platform_test::Started service_;
  std::unique_ptr<testing_support::DebugOutput> output_;
};

TEST_F(GuardOnTestDriver, StartDecidesQueuedDevicesByTheRulesAndUninstallRemovesTheDriver) {
  service_ = platform_test::shell_execute(guard_, u"/start");
  ASSERT_TRUE(service_.ok) << service_.error;
  ASSERT_TRUE(output_->wait_for_line(u"User mode enable", std::chrono::seconds(30))) << "no bring-up";
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
  platform_test::Started uninstall = platform_test::shell_execute(guard_, u"/uninstall");
  ASSERT_TRUE(uninstall.ok) << uninstall.error;
  EXPECT_EQ(os::WaitForSingleObject(uninstall.process.get(), 30000), WAIT_OBJECT_0);
  ASSERT_EQ(os::WaitForSingleObject(service_.process.get(), 30000), WAIT_OBJECT_0) << "the guard did not end";
  service_.process.reset();

  EXPECT_FALSE(testing_support::driver_service_installed());
  EXPECT_FALSE(hub_link::open_device()) << "the driver is still loaded";

  const std::vector<std::string> lines = testing_support::utf8_lines(output_->stop());
  std::string all;
  for (const std::string& line : lines) all += line + "\n";
  const std::size_t sys = find_line(lines, "-> sys : ");
  ASSERT_NE(sys, std::string::npos) << all;
  EXPECT_TRUE(lines[sys].ends_with("\\guard\\" + text::to_utf8(driver_file_name()))) << lines[sys];
  // Bring-up and tear-down, each step's line in its order.
  std::size_t at = sys;
  for (const char* step : {"-> Driver installed.", "-> Driver started.", "-> Driver attached.",
                           "-> Hubs accepted done.", "-> User mode enable done.", "-> *** USB STOPPED.",
                           "-> User mode disabled.", "-> Driver stopped.", "-> Driver uninstalled.", "-> Exit."}) {
    const std::size_t next = find_line(lines, step, at);
    ASSERT_NE(next, std::string::npos) << step << " after line " << at << ":\n" << all;
    at = next + 1;
  }
}

}  // namespace
