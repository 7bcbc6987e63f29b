// The configuration as the guard loads it, through `vostrelusb-tool config`: from the monitor
// stand-in while it runs (a strict document), from the configuration file when it does not (a
// lenient one), with the built-in rule files of the build's installation folder.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "config/config_host.h"
#include "config/data_file.h"
#include "config/scramble.h"
#include "e2e/stand_in_ready.h"
#include "pipes/commp.h"
#include "platform/handle.h"
#include "process/registry.h"
#include "support/background_program.h"
#include "support/debug_output.h"
#include "support/run_command.h"
#include "text/number.h"
#include "text/utf.h"

#ifndef _WIN32
#include <signal.h>
#include <unistd.h>
#endif

using testing_support::utf16_bytes;

namespace {

using testing_support::BackgroundProgram;
using testing_support::lines_of;
using testing_support::lines_starting;

// A question to kavenormon.exe, as the guard asks it.
std::u16string ask_monitor(const std::u16string& question) {
  class_commp asker;
  asker.connect_timeout = 2000;
  asker.write_timeout = 2000;
  std::u16string answer;
  asker.ask(answer, u"kavenormon.exe", question, u"default");
  return answer;
}

std::vector<std::string> head(const std::vector<std::string>& lines, std::size_t n) {
  return std::vector<std::string>(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(std::min(n, lines.size())));
}

// The twelve lines of settings and counts, with the counts of the build's built-in rule files.
std::vector<std::string> summary(int active, int action, int io, int pr, int net, int report, int initial, int rules) {
  return {"active: " + std::to_string(active),     "action: " + std::to_string(action),
          "allow_io: " + std::to_string(io),        "allow_printers: " + std::to_string(pr),
          "allow_network: " + std::to_string(net),  "report_on_allow: " + std::to_string(report),
          "allow_initial: " + std::to_string(initial), "rules: " + std::to_string(rules),
          "rules (io): 7",                          "rules (pr): 9",
          "rules (net): 5",                         "rules (initial): 0"};
}

}  // namespace

class ConfigCommand : public testing_support::ConfigHost {
 protected:
  void SetUp() override {
    ConfigHost::SetUp();
    // The installation folder that the build laid out.
    ASSERT_EQ(1, registry::reg_write_string(u"Software\\kavenor", u"RootPath", installation_folder()));
  }
  void TearDown() override {
    monitor.reset();
    ConfigHost::TearDown();
  }

  std::vector<std::string> config() {
    const auto result = testing_support::run_built("vostrelusb-tool", {"config"}, native_dir());
    EXPECT_EQ(0, result.status) << result.err;
    return lines_of(result.out);
  }
  // Starts the monitor with `document` as its configuration file; `options` make it faulty.
  void start_monitor(const std::string& document, const std::u16string& options = u"") {
    testing_support::write_native_file(native_dir() + "/monitor.json", document);
    testing_support::DebugOutput lines(native_dir());
    ASSERT_EQ("", lines.error());
    monitor = std::make_unique<BackgroundProgram>(installed_program("kavenormon.exe"), options + u"\"" + win_path("monitor.json") + u"\"");
    ASSERT_EQ("", e2e_test::wait_for_stand_in(lines, u"kavenormon.exe", u"default", std::chrono::seconds(60)));
  }
  void stop_monitor() { monitor.reset(); }

  std::unique_ptr<BackgroundProgram> monitor;
};

TEST_F(ConfigCommand, MonitorFirstThenTheFile) {
  const std::string document = R"({"usb":{"active":1,"allow_network":0,"rules":[[{"producent":"=Kingston","klasa":"=DiskDrive"},0]]}})";
  write_config(document);
  start_monitor(document);
  const auto from_monitor = config();
  EXPECT_EQ(summary(1, 2, 1, 1, 0, 1, 1, 1), head(from_monitor, 12));
  EXPECT_EQ(std::vector<std::string>{"config_rules 1 0 |=Kingston||=DiskDrive|"}, lines_starting(from_monitor, "config_rules "));

  stop_monitor();
  const auto from_file = config();
  EXPECT_EQ(summary(1, 0, 0, 0, 0, 0, 0, 1), head(from_file, 12));
  EXPECT_EQ(lines_starting(from_monitor, "config_rules "), lines_starting(from_file, "config_rules "));
}

// A program that carries the monitor's name outside the suite's program folder (run by a standard
// user where the tests can start one) is not believed: its configuration, which would switch the
// guard off, counts as no answer, and the file is read.
TEST_F(ConfigCommand, AMonitorOutsideTheSuitesFolderIsNotBelieved) {
  write_config(R"({"usb":{"active":1,"action":2,"allow_network":0,"rules":[]}})");
  const auto from_file = config();
  const std::string fake = native_dir() + "/elsewhere/kavenormon.exe";
  std::filesystem::create_directories(native_dir() + "/elsewhere");
  std::filesystem::copy_file(std::filesystem::path(VOSTUSB_BIN_DIR) / ".." / "install" / "bin" / "kavenormon.exe", fake);
  testing_support::write_native_file(native_dir() + "/monitor.json", R"({"usb":{"active":0,"action":0,"rules":[]}})");
  testing_support::DebugOutput lines(native_dir());
  ASSERT_EQ("", lines.error());
  const std::u16string document = u"\"" + win_path("monitor.json") + u"\"";
#ifdef _WIN32
  monitor = std::make_unique<BackgroundProgram>(win_path("elsewhere/kavenormon.exe"), document);
#else
  if (::geteuid() == 0) {
    monitor = std::make_unique<BackgroundProgram>(bin_path("as_standard_user"),
                                                  u"\"" + text::from_utf8(fake) + u"\" " + document);
  } else {
    monitor = std::make_unique<BackgroundProgram>(win_path("elsewhere/kavenormon.exe"), document);
  }
#endif
  ASSERT_TRUE(monitor->started());
  // It serves once its pipe exists.
  CProcesses processes;
  bool serving = false;
  for (int i = 0; i < 600 && !serving; ++i) {
    if (const DWORD pid = processes.pid_by_name(u"kavenormon.exe")) {
      const std::u16string pipe = u"\\\\.\\pipe\\vostrel_comm_default_" + text::widen_ascii(std::to_string(pid));
      os::unique_hfile probe(os::CreateFileW(pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
      serving = probe || os::GetLastError() == ERROR_PIPE_BUSY;
    }
    if (!serving) os::Sleep(100);
  }
  ASSERT_TRUE(serving) << "the program named kavenormon.exe does not serve its channel";
  EXPECT_EQ(from_file, config());
  EXPECT_TRUE(lines.wait_for_line(u"ask peer refused [\\\\.\\pipe\\vostrel_comm_default_", std::chrono::seconds(10)));
}

TEST_F(ConfigCommand, BuiltInRulesOfTheInstallation) {
  const auto lines = config();
  ASSERT_EQ(12u + 7 + 9 + 5, lines.size());
  // No configuration file: the installation copy is read.
  EXPECT_EQ(summary(1, 2, 1, 1, 1, 1, 1, 0), head(lines, 12));
  EXPECT_EQ("io_rules 1 1 |||=HIDClass|", lines[12]);
  EXPECT_EQ("printer_rules 1 1 |||=Printer|", lines[19]);
  EXPECT_EQ("network_rules 1 1 |||=Net|", lines[28]);
  for (const char* list : {"io_rules", "printer_rules", "network_rules"}) {
    const auto rules = lines_starting(lines, std::string(list) + " ");
    EXPECT_EQ(1u, lines_starting(rules, std::string(list) + " " + std::to_string(rules.size() - 3) + " 1 |||=USB|hub").size()) << list;
    EXPECT_EQ(std::string(list) + " " + std::to_string(rules.size() - 1) + " 1 |||=USB|=USB Composite Device", rules[rules.size() - 2]);
  }
}

TEST_F(ConfigCommand, EdgeCasesFromTheMonitorAndFromTheFile) {
  const struct {
    const char* what;
    const char* document;
    std::vector<std::string> monitor;
    std::vector<std::string> file;
    std::vector<std::string> rules;  // config_rules lines, the same from both
  } cases[] = {
      {"usb without action", R"({"usb":{"active":1,"allow_io":1}})", summary(1, 2, 1, 1, 1, 1, 1, 0), summary(1, 0, 1, 0, 0, 0, 0, 0), {}},
      {"active as the string 1", R"({"usb":{"active":"1","action":"0"}})", summary(1, 0, 1, 1, 1, 1, 1, 0), summary(1, 0, 0, 0, 0, 0, 0, 0), {}},
      {"active as true", R"({"usb":{"active":true,"action":1}})", summary(0, 1, 1, 1, 1, 1, 1, 0), summary(0, 1, 0, 0, 0, 0, 0, 0), {}},
      {"no usb", R"({"other":1})", summary(0, 2, 1, 1, 1, 1, 1, 0), summary(0, 0, 0, 0, 0, 0, 0, 0), {}},
      {"rules of every shape",
       R"({"usb":{"rules":[[{"opis":"a"},1,2],"plain",{"b":0,"a":{"produkt":"=P","numer":77}},[{"klasa":"=DiskDrive"},"0"],["=x",1],[{},"7ab"]]}})",
       summary(0, 2, 1, 1, 1, 1, 1, 3), summary(0, 0, 0, 0, 0, 0, 0, 3),
       {"config_rules 1 0 =P||77||", "config_rules 2 0 |||=DiskDrive|", "config_rules 3 7 ||||"}},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(config_folder_native());
    start_monitor(c.document);
    const auto from_monitor = config();
    EXPECT_EQ(c.monitor, head(from_monitor, 12)) << "monitor: " << c.what;
    EXPECT_EQ(c.rules, lines_starting(from_monitor, "config_rules ")) << "monitor: " << c.what;
    stop_monitor();
    write_config(c.document);
    const auto from_file = config();
    EXPECT_EQ(c.file, head(from_file, 12)) << "file: " << c.what;
    EXPECT_EQ(c.rules, lines_starting(from_file, "config_rules ")) << "file: " << c.what;
  }
}

TEST_F(ConfigCommand, StoredFormsOfTheFileReadAlike) {
  const std::string document = R"({"usb":{"active":1,"action":2,"rules":[[{"opis":"Łódź"},1]]}})";
  const std::string forms[] = {
      utf16_bytes(document, true),
      utf16_bytes(document),
      scramble::scramble_file(utf16_bytes(document, true)),
  };
  std::vector<std::string> first;
  for (const auto& bytes : forms) {
    write_config(bytes);
    const auto lines = config();
    EXPECT_EQ(summary(1, 2, 0, 0, 0, 0, 0, 1), head(lines, 12));
    EXPECT_EQ(std::vector<std::string>{"config_rules 1 1 ||||Łódź"}, lines_starting(lines, "config_rules "));
  }
  // Narrow text in the ANSI code page: the same document in ASCII.
  write_config(R"({"usb":{"active":1,"action":2,"rules":[[{"opis":"Lodz"},1]]}})");
  EXPECT_EQ(summary(1, 2, 0, 0, 0, 0, 0, 1), head(config(), 12));
}

TEST_F(ConfigCommand, EmptyConfigurationIsReplacedByTheInstallationCopy) {
  write_config("{    }");
  const auto started = std::chrono::steady_clock::now();
  const auto lines = config();
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));  // five pauses
  // The installation copy of the build.
  EXPECT_EQ(summary(1, 2, 1, 1, 1, 1, 1, 0), head(lines, 12));
  ASSERT_EQ(1u, backups().size());
  EXPECT_EQ(utf16_bytes("{    }"), testing_support::read_native_file(config_folder_native() + "/" + backups()[0]));
}

TEST_F(ConfigCommand, AddedRuleReachesTheMonitorsAnswerAndItsFile) {
  start_monitor(R"({"usb":{"active":1,"rules":[[{"klasa":"=Net"},1]]}})");
  const std::u16string device =
      u"{\"checksum\":\"2832FD2E3A6E0AAB88E4563A8E886D0715F45A5B\",\"etykieta\":\"Kingston/DT/DiskDrive/2026.12.04 09:30:05\","
      u"\"klasa\":\"=DiskDrive\",\"numer\":\"=0123\",\"opis\":\"=Dysk\",\"producent\":\"=Kingston\",\"produkt\":\"=DT\",\"user\":\"jan\"}";
  EXPECT_EQ(u"1", ask_monitor(u"usb_device_add_rule0:" + device));
  EXPECT_EQ(u"", ask_monitor(u"usb_device_add_rule:" + device));  // no verdict
  EXPECT_EQ(u"", ask_monitor(u"usb_device_add_rule1:[1,2]"));     // no device document
  EXPECT_EQ(u"", ask_monitor(u"something else"));

  const std::vector<std::string> expected = {"config_rules 1 1 |||=Net|", "config_rules 2 0 =DT|=Kingston|=0123|=DiskDrive|=Dysk"};
  EXPECT_EQ(expected, lines_starting(config(), "config_rules "));
  stop_monitor();
  // The monitor saved it, label and all, in its file.
  CDataFile saved;
  ASSERT_NE(nullptr, saved.read(win_path("monitor.json")));
  EXPECT_NE(std::u16string::npos, saved.text().find(u"\"etykieta\" : \"Kingston/DT/DiskDrive/2026.12.04 09:30:05\""));
  testing_support::write_native_file(config_native(), testing_support::read_native_file(native_dir() + "/monitor.json"));
  EXPECT_EQ(expected, lines_starting(config(), "config_rules "));
}

TEST_F(ConfigCommand, AddedRuleMakesTheRunningGuardReload) {
  start_monitor(R"({"usb":{"active":1,"rules":[[{"klasa":"=Net"},1]]}})");
  testing_support::DebugOutput lines(native_dir());
  ASSERT_EQ("", lines.error());
#ifdef _WIN32
  BackgroundProgram guard(bin_path("vostrelusb.exe"), u"/start");
#else
  BackgroundProgram guard(bin_path("vostrelusb"), u"/start");
#endif
  // Its start has loaded the monitor's configuration; after its driver bring-up (successful on the
  // simulated machine, failed where the build has no driver image) it serves commands.
  ASSERT_TRUE(lines.wait_for_line(u"rules      : 1", std::chrono::seconds(60)));
#ifdef _WIN32
  ASSERT_TRUE(lines.wait_for_line(u"USB STOPPED", std::chrono::seconds(60)));
#else
  ASSERT_TRUE(lines.wait_for_line(u"User mode enable done.", std::chrono::seconds(60)));
#endif
  EXPECT_EQ(u"1", ask_monitor(u"usb_device_add_rule1:{\"klasa\":\"=Printer\",\"etykieta\":\"Printer/2026.12.04 09:30:05\"}"));
  EXPECT_TRUE(lines.wait_for_line(u"rules      : 2", std::chrono::seconds(30))) << "the guard did not reload";
}

TEST_F(ConfigCommand, MonitorThatNeverAnswersIsGivenUpForTheFile) {
  write_config(R"({"usb":{"active":1}})");
  start_monitor(R"({"usb":{"active":1,"action":1}})", u"--hang ");
  const auto started = std::chrono::steady_clock::now();
  const auto lines = config();
  const auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(summary(1, 0, 0, 0, 0, 0, 0, 0), head(lines, 12));
  EXPECT_GE(waited, std::chrono::seconds(10));
  EXPECT_LT(waited, std::chrono::seconds(60));
  // The monitor still sits on the first question, so its channel stays busy: the next load waits
  // for it as long as for an answer, not the channel's ten minutes, and reads the file.
  const auto again = std::chrono::steady_clock::now();
  EXPECT_EQ(summary(1, 0, 0, 0, 0, 0, 0, 0), head(config(), 12));
  const auto waited_again = std::chrono::steady_clock::now() - again;
  EXPECT_GE(waited_again, std::chrono::seconds(10));
  EXPECT_LT(waited_again, std::chrono::seconds(60));
}

TEST_F(ConfigCommand, MonitorThatAnswersGarbageGivesTheMonitorDefaults) {
  write_config(R"({"usb":{"active":1,"rules":[[{},0]]}})");
  start_monitor(R"({"usb":{"active":1,"action":1}})", u"--garbage ");
  const auto lines = config();
  EXPECT_EQ(summary(0, 2, 1, 1, 1, 1, 1, 0), head(lines, 12));
}

#ifndef _WIN32  // a stopped process, as only the simulated host can make one
TEST_F(ConfigCommand, StoppedMonitorIsGivenUpForTheFile) {
  write_config(R"({"usb":{"active":1}})");
  start_monitor(R"({"usb":{"active":1,"action":1}})");
  CProcesses processes;
  const DWORD pid = processes.pid_by_name(u"kavenormon.exe");
  ASSERT_NE(0u, pid);
  ASSERT_EQ(0, ::kill(static_cast<pid_t>(pid), SIGSTOP));
  const auto lines = config();
  ::kill(static_cast<pid_t>(pid), SIGCONT);
  EXPECT_EQ(summary(1, 0, 0, 0, 0, 0, 0, 0), head(lines, 12));
}
#endif
