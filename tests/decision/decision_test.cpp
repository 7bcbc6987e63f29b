// The decision on a new device within the guard's process: verdicts, the accept folder's files,
// report files, the capture file and its clean-up, the diagnostic lines. No program of the suite
// runs here (see decision_pipe_test.cpp for those).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

#include "config/settings.h"
#include "decision/decision.h"
#include "decision/decision_host.h"
#include "decision/device_record.h"
#include "decision/device_texts.h"
#include "decision/rule_lists.h"
#include "platform/handle.h"
#include "process/registry.h"
#include "text/utf.h"

using decision_test::device_text;
using decision_test::kKingstonStick;
using decision_test::read_utf16_file;
using decision_test::rule;
using decision_test::without_times;
using testing_support::read_native_file;

namespace {

const std::string kKingston = decision_test::kKingstonChecksum;

class Decision : public decision_test::DecisionHost {
 protected:
  void settings(int active_value, int action_value, int report_value) {
    active = active_value;
    action = action_value;
    report_on_allow = report_value;
  }
  std::string accept_native(const std::string& ext) const { return data_native("vostusb/accept/" + kKingston + ext); }
  std::string capture_native() const { return data_native("tmp/usbdevice.json"); }
  bool exists(const std::string& path) const { return std::filesystem::exists(path); }
};

// The report of the Kingston stick, with its times written as "<time>".
// The user is the first one who runs a shell: nobody on the simulated host, the prefix's user under Wine.
std::u16string kingston_report(int action_value, const std::u16string& title, const std::u16string& outcome) {
  const std::u16string user = first_logged_on_user();
  return u"{\r\n"
         u"    \"info\" : [\r\n"
         u"        {\r\n"
         u"            \"action\" : " + std::u16string(action_value ? u"1" : u"0") + u", \r\n"
         u"            \"checksum\" : \"6238BFA5EA55CCC09BE24075CCDE3A031B266BDB\", \r\n"
         u"            \"klasa\" : \"USB\", \r\n"
         u"            \"numer\" : \"60A44C413AB2F0B0A9A0005B\", \r\n"
         u"            \"opis\" : \"USB Mass Storage Device\", \r\n"
         u"            \"producent\" : \"Kingston\", \r\n"
         u"            \"produkt\" : \"DataTraveler 3.0\", \r\n"
         u"            \"time\" : \"<time>\", \r\n"
         u"            \"user\" : \"" + user + u"\"\r\n"
         u"        }\r\n"
         u"    ], \r\n"
         u"    \"params\" : {\r\n"
         u"        \"date\" : \"<time>\", \r\n"
         u"        \"title\" : \"" + title + u"\"\r\n"
         u"    }, \r\n"
         u"    \"report\" : [\r\n"
         u"        {\r\n            \"event\" : \"Producent\", \r\n            \"value\" : \"Kingston\"\r\n        }, \r\n"
         u"        {\r\n            \"event\" : \"Produkt\", \r\n            \"value\" : \"DataTraveler 3.0\"\r\n        }, \r\n"
         u"        {\r\n            \"event\" : \"Klasa\", \r\n            \"value\" : \"USB\"\r\n        }, \r\n"
         u"        {\r\n            \"event\" : \"Opis\", \r\n            \"value\" : \"USB Mass Storage Device\"\r\n        }, \r\n"
         u"        {\r\n            \"event\" : \"Numer seryjny\", \r\n            \"value\" : \"60A44C413AB2F0B0A9A0005B\"\r\n        }, \r\n"
         u"        {\r\n            \"event\" : \"Suma kontrolna\", \r\n            \"value\" : \"6238BFA5EA55CCC09BE24075CCDE3A031B266BDB\"\r\n        }, \r\n"
         u"        {\r\n            \"event\" : \"Użytkownik\", \r\n            \"value\" : \"" + user + u"\"\r\n        }, \r\n"
         u"        {\r\n            \"event\" : \"Akcja\", \r\n            \"value\" : \"" + outcome + u"\"\r\n        }\r\n"
         u"    ]\r\n"
         u"}";
}

}  // namespace

TEST_F(Decision, InactiveGuardAllowsEverythingAndWritesNothing) {
  settings(0, 0, 1);
  config_rules = {rule(u"", u"", u"", u"", u"", 0)};
  EXPECT_EQ(1, vostusb_decision(kKingstonStick.c_str()));
  EXPECT_EQ(1, vostusb_decision(nullptr));
  EXPECT_FALSE(exists(data_native("")));
  EXPECT_TRUE(lines_with(u">> New device").empty());
}

TEST_F(Decision, NullDeviceTextIsDecidedByActionAlone) {
  settings(1, 0, 1);
  EXPECT_EQ(0, vostusb_decision(nullptr));
  settings(1, 2, 1);
  EXPECT_EQ(1, vostusb_decision(nullptr));
  EXPECT_FALSE(exists(data_native("")));
  const auto lines = lines_with(u">> New device, allow=");
  ASSERT_EQ(2u, lines.size());
  EXPECT_TRUE(lines[0].ends_with(u" -> >> New device, allow=0"));
  EXPECT_TRUE(lines[1].ends_with(u" -> >> New device, allow=1"));
  EXPECT_NE(std::u16string::npos, lines[0].find(u" _COUT:"));
}

TEST_F(Decision, UndecidedDeviceAllowedByActionWithoutReport) {
  settings(1, 1, 0);
  EXPECT_EQ(1, vostusb_decision(kKingstonStick.c_str()));
  EXPECT_TRUE(report_files().empty());
  EXPECT_EQ(build_device_record(kKingstonStick).document.serialise(0), read_utf16_file(accept_native(".json")));
  EXPECT_EQ(1u, lines_with(u">> New device, allow=1").size());
}

TEST_F(Decision, UndecidedDeviceBlockedByActionIsReported) {
  settings(1, 0, 0);
  ASSERT_EQ(1, registry::reg_write_dword(HKEY_LOCAL_MACHINE, u"Software\\kavenor", u"ln", 41));
  EXPECT_EQ(0, vostusb_decision(kKingstonStick.c_str()));

  const auto reports = report_files();
  ASSERT_EQ(1u, reports.size());
  std::smatch name;
  ASSERT_TRUE(std::regex_match(reports[0], name, std::regex(R"((\d{8})/(\d{14})-00000041-[0-9a-f]{8}-1403\.json)")));
  EXPECT_EQ(name[1].str(), name[2].str().substr(0, 8));  // the folder of the report's date
  const std::string bytes = read_native_file(data_native("logs/" + reports[0]));
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ('{', bytes[0]);
  EXPECT_EQ('\0', bytes[1]);  // UTF-16LE without byte-order mark
  EXPECT_EQ(kingston_report(0, u"Zablokowane urządzenie USB", u"Zablokowane"),
            without_times(read_utf16_file(data_native("logs/" + reports[0]))));
  EXPECT_EQ(42u, registry::reg_read_dword(u"Software\\kavenor", u"ln", 0));
  EXPECT_EQ(1u, lines_with(u">> New device, allow=0").size());
}

TEST_F(Decision, ClassRuleAllowsAndReportOnAllowReportsIt) {
  settings(1, 0, 1);
  // As the built-in lists decide: by the class and a part of the description.
  io_rules = {rule(u"", u"", u"", u"=USB", u"hub", 1), rule(u"", u"", u"", u"=USB", u"mass storage", 1)};
  EXPECT_EQ(1, vostusb_decision(kKingstonStick.c_str()));
  const auto reports = report_files();
  ASSERT_EQ(1u, reports.size());
  EXPECT_TRUE(reports[0].ends_with("-00000001-" + reports[0].substr(reports[0].size() - 18, 8) + "-1401.json"))
      << reports[0];
  EXPECT_EQ(kingston_report(1, u"Podłączone urządzenie USB", u"Dopuszczone"),
            without_times(read_utf16_file(data_native("logs/" + reports[0]))));
  EXPECT_EQ(2u, registry::reg_read_dword(u"Software\\kavenor", u"ln", 0));
}

TEST_F(Decision, RuleThatAllowsWinsOverActionZero) {
  settings(1, 0, 0);
  config_rules = {rule(u"", u"=kingston", u"", u"", u"", 1)};
  EXPECT_EQ(1, vostusb_decision(kKingstonStick.c_str()));
  EXPECT_TRUE(report_files().empty());
  EXPECT_TRUE(lines_with(u"USB Ask User.").empty());
}

TEST_F(Decision, ThreeSightingsLeaveOneDocumentAndThreeLines) {
  settings(1, 1, 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(1, vostusb_decision(kKingstonStick.c_str()));
  EXPECT_EQ(build_device_record(kKingstonStick).document.serialise(0), read_utf16_file(accept_native(".json")));
  EXPECT_TRUE(std::regex_match(read_native_file(accept_native(".txt")),
                               std::regex(R"((\d{4}\.\d{2}\.\d{2} \d{2}:\d{2}:\d{2}\r\n){3})")));
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(data_native("vostusb/accept"))) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(2u, files);
}

TEST_F(Decision, ReportCounterMissingOrOfAnotherTypeStartsAtOne) {
  settings(1, 0, 0);
  struct Case {
    const char* name;
    void (*prepare)();
  };
  const Case cases[] = {
      {"missing", [] {}},
      {"a text", [] { registry::reg_write_string(u"Software\\kavenor", u"ln", u"7"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(data_native("logs"));
    os::unique_hkey key;
    ASSERT_EQ(ERROR_SUCCESS, os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\kavenor", 0, KEY_ALL_ACCESS, key.put()));
    os::RegDeleteValueW(key.get(), u"ln");
    c.prepare();
    EXPECT_EQ(0, vostusb_decision(kKingstonStick.c_str()));
    EXPECT_EQ(0, vostusb_decision(kKingstonStick.c_str()));
    const auto reports = report_files();
    ASSERT_EQ(2u, reports.size());
    const std::regex counter(R"(.*-(\d{8})-[0-9a-f]{8}-1403\.json)");
    std::vector<std::string> numbers;
    for (const auto& report : reports) {
      std::smatch m;
      ASSERT_TRUE(std::regex_match(report, m, counter)) << report;
      numbers.push_back(m[1].str());
    }
    std::sort(numbers.begin(), numbers.end());
    EXPECT_EQ((std::vector<std::string>{"00000001", "00000002"}), numbers);
    EXPECT_EQ(3u, registry::reg_read_dword(u"Software\\kavenor", u"ln", 0));
  }
}

TEST_F(Decision, UnwritableDataFolderLeavesTheDecisionStanding) {
  // The data folder lies below a file, so no folder or file can be made there.
  testing_support::write_native_file(native_dir() + "/blocker", "x");
  testing_support::set_env("ALLUSERSPROFILE", text::to_utf8(win_path("blocker")).c_str());
  settings(1, 0, 1);
  EXPECT_EQ(0, vostusb_decision(kKingstonStick.c_str()));
  settings(1, 1, 1);
  EXPECT_EQ(1, vostusb_decision(kKingstonStick.c_str()));
  EXPECT_EQ(1u, lines_with(u">> New device, allow=0").size());
  EXPECT_EQ(1u, lines_with(u">> New device, allow=1").size());
}

TEST_F(Decision, BadDeviceTextsAreDecidedAsDevicesWithoutTexts) {
  settings(1, 1, 0);
  config_rules = {rule(u"=-", u"=-", u"=-", u"=-", u"=-", 0)};  // only a device without both objects
  for (const char16_t* text : {u"", u"not JSON", u"[1,2]", u"{\"DeviceDescriptor\":7}", u"{\"a\":{\"b\":"}) {
    EXPECT_EQ(std::u16string_view(text).find(u"DeviceDescriptor") == std::u16string_view::npos ? 0 : 1,
              vostusb_decision(text))
        << text::to_utf8(text);
  }
  EXPECT_TRUE(exists(data_native("vostusb/accept/2832FD2E3A6E0AAB88E4563A8E886D0715F45A5B.json")));
}

TEST_F(Decision, CaptureTakesTheDeviceAndItsFileIsDeletedLater) {
  settings(1, 0, 1);  // would be blocked and reported without the capture
  os::unique_handle capture(os::CreateMutexW(nullptr, FALSE, u"Global\\VOSTUSB_PROCESS_093021398320912801"));
  ASSERT_TRUE(capture);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(1, vostusb_decision(device_text(u"Acme", u"", u"SN1", u"USB", u"Hub").c_str()));

  const std::string bytes = read_native_file(capture_native());
  std::smatch stamp;
  ASSERT_TRUE(std::regex_search(bytes, stamp, std::regex(R"re("timestamp" : "(\d{14})")re"))) << bytes;
  CJsonNode expected = with_exact_patterns(build_device_record(device_text(u"Acme", u"", u"SN1", u"USB", u"Hub")).document);
  expected.set_string(u"timestamp", text::from_utf8(stamp[1].str()));
  EXPECT_EQ(text::to_utf8(expected.serialise(0)), bytes);  // UTF-8, "=" before non-empty texts
  EXPECT_NE(std::string::npos, bytes.find("\"produkt\" : \"\""));
  EXPECT_TRUE(report_files().empty());
  EXPECT_TRUE(lines_with(u">> New device").empty());
  const std::string checksum = text::to_utf8(build_device_record(device_text(u"Acme", u"", u"SN1", u"USB", u"Hub"), u"").checksum);
  EXPECT_TRUE(exists(data_native("vostusb/accept/" + checksum + ".json")));

  while (exists(capture_native()) && std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const auto lived = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(exists(capture_native()));
  EXPECT_GE(lived, std::chrono::milliseconds(350));
}

TEST_F(Decision, CaptureBurstIsDeletedByTheFirstWorker) {
  settings(1, 1, 0);
  decision_waits.capture_cleanup_ms = 1500;
  os::unique_handle capture(os::CreateMutexW(nullptr, FALSE, u"Global\\VOSTUSB_PROCESS_093021398320912801"));
  ASSERT_TRUE(capture);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(1, vostusb_decision(device_text(u"First", u"", u"", u"", u"").c_str()));
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  EXPECT_EQ(1, vostusb_decision(device_text(u"Second", u"", u"", u"", u"").c_str()));
  EXPECT_NE(std::string::npos, read_native_file(capture_native()).find("=Second"));
  while (exists(capture_native()) && std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // Gone when the first worker woke, not 1.5 s after the second capture.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2100));
  EXPECT_FALSE(exists(capture_native()));
}
