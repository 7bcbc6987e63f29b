// Decisions that talk to the suite's other programs, played by their stand-ins in processes of
// their own: the tray program (kavenormenu.exe) asks the user and shows notices, the monitor
// (kavenormon.exe) stores the rules made from the user's answers in its configuration file.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <regex>
#include <thread>

#include "config/settings.h"
#include "decision/decision.h"
#include "decision/decision_host.h"
#include "decision/device_record.h"
#include "decision/device_texts.h"
#include "decision/stand_in.h"
#include "json/json_node.h"
#include "process/registry.h"
#include "support/background_program.h"
#include "text/utf.h"

using decision_test::kKingstonStick;
using decision_test::StandIn;
using testing_support::read_native_file;

namespace {

class AskingDecision : public decision_test::DecisionHost {
 protected:
  void SetUp() override {
    DecisionHost::SetUp();
    // The stand-ins are believed from the suite's program folder only: the build's installation.
    ASSERT_EQ(1, registry::reg_write_string(u"Software\\kavenor", u"RootPath", installation_folder()));
    active = 1;
    action = 2;
    report_on_allow = 0;
  }
  void TearDown() override {
    tray.reset();
    monitor.reset();
    DecisionHost::TearDown();
  }

  void start_tray(const std::string& policy) {
    tray = std::make_unique<StandIn>(installed_program("kavenormenu.exe"), u"--log \"" + text::from_utf8(tray_log()) + u"\" " + text::from_utf8(policy),
                                     u"usb_device", u"probe");
    ASSERT_TRUE(tray->serving()) << "the tray stand-in does not serve its channel";
  }
  void start_monitor() {
    testing_support::write_native_file(monitor_file(), R"({"usb":{"active":1,"action":2,"rules":[]}})");
    monitor = std::make_unique<StandIn>(installed_program("kavenormon.exe"), u"\"" + win_path("monitor.json") + u"\"",
                                        u"default", u"get_config");
    ASSERT_TRUE(monitor->serving()) << "the monitor stand-in does not serve its channel";
  }

  std::string tray_log() const { return native_dir() + "/tray.log"; }
  std::string monitor_file() const { return native_dir() + "/monitor.json"; }

  // The rules that the monitor stored, written out.
  std::u16string stored_rules() const {
    std::string bytes = read_native_file(monitor_file());
    CJsonNode config;
    config.parse(bytes.size() > 1 && bytes[1] == '\0' ? text::from_utf16le(bytes) : text::from_utf8(bytes));
    return config[u"usb"][u"rules"].serialise(0);
  }

  // Waits until the tray's log holds `fragment`.
  bool tray_logged(const std::string& fragment, std::chrono::milliseconds wait = std::chrono::seconds(10)) const {
    const auto until = std::chrono::steady_clock::now() + wait;
    for (;;) {
      if (read_native_file(tray_log()).find(fragment) != std::string::npos) return true;
      if (std::chrono::steady_clock::now() >= until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  std::unique_ptr<StandIn> tray;
  std::unique_ptr<StandIn> monitor;
};

// The pair that an answer about the Kingston stick adds to the monitor's rules.
std::u16string kingston_rule(int verdict) {
  return u"\"rules\" : [\r\n"
         u"    [\r\n"
         u"        {\r\n"
         u"            \"checksum\" : \"6238BFA5EA55CCC09BE24075CCDE3A031B266BDB\", \r\n"
         u"            \"etykieta\" : \"Kingston/DataTraveler 3.0/USB/<time>\", \r\n"
         u"            \"klasa\" : \"=USB\", \r\n"
         u"            \"numer\" : \"=60A44C413AB2F0B0A9A0005B\", \r\n"
         u"            \"opis\" : \"=USB Mass Storage Device\", \r\n"
         u"            \"producent\" : \"=Kingston\", \r\n"
         u"            \"produkt\" : \"=DataTraveler 3.0\", \r\n"
         u"            \"user\" : \"" + first_logged_on_user() + u"\"\r\n"
         u"        }, \r\n"
         u"        " + text::widen_ascii(std::to_string(verdict)) + u"\r\n"
         u"    ]\r\n"
         u"]";
}

}  // namespace

TEST_F(AskingDecision, UserAllowsAndTheMonitorStoresAnAllowingRule) {
  start_monitor();
  start_tray("allow");
  EXPECT_EQ(1, vostusb_decision(kKingstonStick.c_str()));
  EXPECT_EQ(kingston_rule(1), decision_test::without_times(stored_rules()));
  EXPECT_TRUE(tray_logged("ask_usb_device|{"));
  EXPECT_TRUE(tray_logged("-> \"1\""));
  EXPECT_EQ(1u, lines_with(u"USB Ask User.").size());
  EXPECT_EQ(1u, lines_with(u">> New device, allow=1").size());
  EXPECT_TRUE(report_files().empty());
}

TEST_F(AskingDecision, UserBlocksWithoutABlockedNotice) {
  start_monitor();
  start_tray("block");
  EXPECT_EQ(0, vostusb_decision(kKingstonStick.c_str()));
  EXPECT_EQ(kingston_rule(0), decision_test::without_times(stored_rules()));
  EXPECT_EQ(1u, report_files().size());
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(std::string::npos, read_native_file(tray_log()).find("usb_device_blocked|"));
}

TEST_F(AskingDecision, AnyAnswerButOneBlocks) {
  start_monitor();
  start_tray("answer=yes");
  EXPECT_EQ(0, vostusb_decision(kKingstonStick.c_str()));
  EXPECT_EQ(kingston_rule(0), decision_test::without_times(stored_rules()));
}

TEST_F(AskingDecision, TrayThatNeverAnswersBlocksAfterTheWait) {
  start_monitor();
  start_tray("silent");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(0, vostusb_decision(kKingstonStick.c_str()));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(decision_waits.tray_answer_ms));
  EXPECT_EQ(kingston_rule(0), decision_test::without_times(stored_rules()));
}

TEST_F(AskingDecision, NoTrayBlocksAndStillSendsTheRule) {
  start_monitor();
  EXPECT_EQ(0, vostusb_decision(kKingstonStick.c_str()));
  EXPECT_EQ(kingston_rule(0), decision_test::without_times(stored_rules()));
  EXPECT_EQ(1u, lines_with(u">> New device, allow=0").size());
}

TEST_F(AskingDecision, NoMonitorLeavesTheAnswerStanding) {
  start_tray("allow");
  EXPECT_EQ(1, vostusb_decision(kKingstonStick.c_str()));
  EXPECT_FALSE(std::filesystem::exists(monitor_file()));
}

TEST_F(AskingDecision, DeviceBlockedWithoutAskingIsAnnouncedToTheTray) {
  action = 0;
  start_tray("allow");
  EXPECT_EQ(0, vostusb_decision(kKingstonStick.c_str()));
  EXPECT_TRUE(tray_logged("manufacturer: Kingston"));
  const std::string log = read_native_file(tray_log());
  EXPECT_NE(std::string::npos, log.find("usb_device_blocked|{"));
  EXPECT_NE(std::string::npos, log.find("description: USB Mass Storage Device"));
  EXPECT_EQ(std::string::npos, log.find("ask_usb_device|"));
  EXPECT_TRUE(lines_with(u"USB Ask User.").empty());
}

// A program that merely carries the tray program's name, outside the suite's program folder, is
// not the tray: it is asked nothing and its policy of allowing everything counts for nothing.
TEST_F(AskingDecision, ATrayOutsideTheSuitesFolderIsNotBelieved) {
  start_monitor();
  decision_test::copy_stand_in("kavenormenu.exe", native_dir() + "/elsewhere");
  testing_support::BackgroundProgram fake(win_path("elsewhere/kavenormenu.exe"),
                                          u"--log \"" + text::from_utf8(tray_log()) + u"\" allow");
  ASSERT_TRUE(fake.started());
  ASSERT_TRUE(tray_logged("listening on the channel"));
  EXPECT_EQ(0, vostusb_decision(kKingstonStick.c_str()));
  EXPECT_EQ(kingston_rule(0), decision_test::without_times(stored_rules()));
  EXPECT_EQ(1u, lines_with(u">> New device, allow=0").size());
  EXPECT_FALSE(lines_with(u"ask peer refused [\\\\.\\pipe\\vostrel_comm_usb_device_").empty());
  EXPECT_EQ(std::string::npos, read_native_file(tray_log()).find("ask_usb_device|"));
}
