#include "config/read_config.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "config/config_host.h"
#include "config/scramble.h"
#include "config/settings.h"
#include "support/debug_output.h"
#include "text/utf.h"

using testing_support::utf16_bytes;

namespace {

std::u16string g_answer;
std::u16string fake_monitor() { return g_answer; }
std::u16string silent_monitor() { return {}; }

// The seven settings in the order of the table, then the size of config_rules.
std::string settings_and_rules() {
  std::string out;
  for (int v : {active, action, allow_io, allow_printers, allow_network, report_on_allow, allow_initial}) out += std::to_string(v) + " ";
  return out + "| " + std::to_string(config_rules.size());
}

const char kThreeRules[] = R"({"rules":[[{"klasa":"=HIDClass"},1],[{"opis":"hub"},1],[{"klasa":"=Net"},1],"skipped"]})";

}  // namespace

class ReadConfig : public testing_support::ConfigHost {
 protected:
  std::string from_monitor(const std::string& answer) {
    g_answer = text::from_utf8(answer);
    read_config(fake_monitor);
    return settings_and_rules();
  }
  std::string from_file(const std::string& bytes) {
    write_config(bytes);
    read_config(silent_monitor);
    return settings_and_rules();
  }
};

TEST_F(ReadConfig, DocumentsFromTheMonitorAndFromTheFile) {
  const struct {
    const char* what;
    const char* document;
    const char* monitor;  // settings and the number of the configuration's rules
    const char* file;
  } cases[] = {
      {"every key",
       R"({"usb":{"active":1,"action":0,"allow_io":0,"allow_printers":0,"allow_network":0,"report_on_allow":0,"allow_initial":0}})",
       "1 0 0 0 0 0 0 | 0", "1 0 0 0 0 0 0 | 0"},
      {"only active: monitor defaults, or 0 from the file", R"({"usb":{"active":1}})", "1 2 1 1 1 1 1 | 0", "1 0 0 0 0 0 0 | 0"},
      {"no usb", R"({"other":{"active":1}})", "0 2 1 1 1 1 1 | 0", "0 0 0 0 0 0 0 | 0"},
      {"usb not an object", R"({"usb":5})", "0 2 1 1 1 1 1 | 0", "0 0 0 0 0 0 0 | 0"},
      {"usb an array", R"({"usb":[1,2]})", "0 2 1 1 1 1 1 | 0", "0 0 0 0 0 0 0 | 0"},
      {"strings by _wtoi", R"({"usb":{"active":"1","action":"0","allow_io":"12ab","allow_printers":"ab","allow_network":" 3","report_on_allow":"-1","allow_initial":""}})",
       "1 0 12 0 3 -1 0 | 0", "1 0 12 0 3 -1 0 | 0"},
      {"active true disables, any non-zero enables", R"({"usb":{"active":true,"action":false}})", "0 0 1 1 1 1 1 | 0", "0 0 0 0 0 0 0 | 0"},
      {"any non-zero active is stored as 1", R"({"usb":{"active":-7}})", "1 2 1 1 1 1 1 | 0", "1 0 0 0 0 0 0 | 0"},
      {"objects, arrays and null read as 0", R"({"usb":{"active":{},"action":[2],"allow_io":null}})", "0 0 0 1 1 1 1 | 0", "0 0 0 0 0 0 0 | 0"},
      {"rules of every shape",
       R"({"usb":{"active":1,"rules":[[{"klasa":"=DiskDrive"},0],[{},1,2],"x",[{"opis":"a"},"0"],{"a":{"opis":"b"},"b":1},["=x",0]]}})",
       "1 2 1 1 1 1 1 | 3", "1 0 0 0 0 0 0 | 3"},
      {"rules not an array", R"({"usb":{"rules":"none"}})", "0 2 1 1 1 1 1 | 0", "0 0 0 0 0 0 0 | 0"},
      {"reading stops at a fraction", R"({"usb":{"active":1,"action":1.5,"allow_io":0}})", "1 1 1 1 1 1 1 | 0", "1 1 0 0 0 0 0 | 0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.monitor, from_monitor(c.document)) << "monitor: " << c.what;
    EXPECT_EQ(c.file, from_file(c.document)) << "file: " << c.what;
  }
}

TEST_F(ReadConfig, MonitorThatAnswersGarbageGivesTheMonitorDefaults) {
  for (const char* garbage : {"garbage", "\x01\x02", "]]]", "{", "[1,2]", "*hex*zz"}) {
    from_file(R"({"usb":{"active":1,"action":0,"rules":[[{},0]]}})");  // the file is not read
    EXPECT_EQ("0 2 1 1 1 1 1 | 0", from_monitor(garbage)) << garbage;
  }
}

TEST_F(ReadConfig, MonitorFirstThenTheFile) {
  write_config(R"({"usb":{"active":1,"action":0,"rules":[[{},1]]}})");
  EXPECT_EQ("0 1 1 1 1 1 1 | 2", from_monitor(R"({"usb":{"action":1,"rules":[[{},1],[{},0]]}})"));
  read_config(silent_monitor);
  EXPECT_EQ("1 0 0 0 0 0 0 | 1", settings_and_rules());
}

TEST_F(ReadConfig, NoConfigurationAnywhereTurnsTheGuardOff) {
  read_config(silent_monitor);
  EXPECT_EQ("0 0 0 0 0 0 0 | 0", settings_and_rules());
  write_install("cfg.json", scramble::scramble_file(R"({"usb":{"active":1,"action":2}})"));
  read_config(silent_monitor);
  EXPECT_EQ("1 2 0 0 0 0 0 | 0", settings_and_rules());
}

TEST_F(ReadConfig, EveryRunReplacesEverything) {
  write_install("u_io.bin", kThreeRules);
  from_monitor(R"({"usb":{"active":1,"rules":[[{},1],[{},0]]}})");
  EXPECT_EQ(3u, io_rules.size());
  std::filesystem::remove(install_native("u_io.bin"));
  EXPECT_EQ("0 2 1 1 1 1 1 | 0", from_monitor(R"({"usb":{}})"));
  EXPECT_TRUE(io_rules.empty());
}

TEST_F(ReadConfig, BuiltInRuleFilesInEveryForm) {
  write_install("u_io.bin", kThreeRules);
  write_install("u_pr.bin", utf16_bytes(kThreeRules, true));
  write_install("u_net.bin", scramble::scramble_file(utf16_bytes(R"({"rules":[[{"klasa":"=Net"},1]]})")));
  read_config(silent_monitor);
  EXPECT_EQ(3u, io_rules.size());
  EXPECT_EQ(3u, printer_rules.size());
  ASSERT_EQ(1u, network_rules.size());
  EXPECT_EQ(u"=Net", network_rules[0].klasa);
  EXPECT_EQ(u"=HIDClass", io_rules[0].klasa);
  EXPECT_EQ(u"hub", printer_rules[1].opis);
}

TEST_F(ReadConfig, BrokenRuleFilesGiveEmptyLists) {
  write_install("u_io.bin", "not json at all");
  write_install("u_pr.bin", "");
  write_install("u_net.bin", R"({"rules":{}})");
  from_monitor(R"({"usb":{"active":1}})");
  EXPECT_TRUE(io_rules.empty());
  EXPECT_TRUE(printer_rules.empty());
  EXPECT_TRUE(network_rules.empty());
}

TEST_F(ReadConfig, NoInstallationFolderMeansNoBuiltInRules) {
  write_install("u_io.bin", kThreeRules);
  forget_installation();
  from_monitor(R"({"usb":{"active":1}})");
  EXPECT_TRUE(io_rules.empty());
}

TEST_F(ReadConfig, HoldsTheConfigLockWhileItAsksTheMonitor) {
  static std::atomic<int> other_thread_got_it{-1};
  static std::atomic<int> owner_reentered{-1};
  auto probing_monitor = []() -> std::u16string {
    std::thread other([] {
      const bool got = config_lock.try_lock();
      if (got) config_lock.unlock();
      other_thread_got_it = got;
    });
    other.join();
    const bool again = config_lock.try_lock();
    if (again) config_lock.unlock();
    owner_reentered = again;
    return u"{\"usb\":{\"active\":1}}";
  };
  read_config(probing_monitor);
  EXPECT_EQ(0, other_thread_got_it.load());
  EXPECT_EQ(1, owner_reentered.load());
  // Released afterwards.
  std::thread after([] { other_thread_got_it = config_lock.try_lock(); if (other_thread_got_it) config_lock.unlock(); });
  after.join();
  EXPECT_EQ(1, other_thread_got_it.load());
}

TEST_F(ReadConfig, DiagnosticLinesInTheirOrder) {
  write_install("u_io.bin", kThreeRules);
  write_install("u_net.bin", R"({"rules":[[{},1]]})");
  testing_support::DebugOutput output(native_dir());
  ASSERT_EQ("", output.error());
  from_monitor(R"({"usb":{"active":1,"action":0,"allow_io":3,"allow_printers":0,"allow_network":5,"allow_initial":7,"report_on_allow":9,"rules":[[{},1],[{},0]]}})");
  const auto lines = output.stop();
  std::vector<std::u16string> own;
  std::size_t initial_rules = lines.size(), summary = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto arrow = lines[i].find(u" -> ");
    if (lines[i].find(u" read_config:") != std::u16string::npos && arrow != std::u16string::npos) own.push_back(lines[i].substr(arrow + 4));
    if (initial_rules == lines.size() && lines[i].find(u"load_initial_rules") != std::u16string::npos) initial_rules = i;
    if (summary == lines.size() && lines[i].find(u"active     : ") != std::u16string::npos) summary = i;
  }
  const std::vector<std::u16string> expected = {
      u"> Enter",          u"active     : 1", u"action     : 0", u"rules      : 2",
      u"allow_io   : 3",   u"allow_pr   : 0", u"allow_net  : 5", u"initial    : 7",
      u"rules (pr) : 0",   u"rules (io) : 3", u"rules (net): 1", u"< Leave",
  };
  EXPECT_EQ(expected, own);
  // The initial rules are loaded after the rule files, before the summary.
  EXPECT_LT(initial_rules, summary);
}
