// The device decision seen from outside the guard's process: `vostrelusb-tool checksum` and
// `decide` on device texts in files, and the rule-file test "/test:" of the guard itself, with the
// configuration file and the build's installation folder (its built-in rule files).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "config/config_host.h"
#include "decision/device_record.h"
#include "decision/device_texts.h"
#include "process/registry.h"
#include "support/run_command.h"
#include "text/utf.h"

using decision_test::device_text;
using testing_support::read_native_file;
using testing_support::write_native_file;

namespace {

const std::u16string kMouse = device_text(u"Logitech", u"USB Receiver", u"", u"HIDClass", u"USB Input Device");
const std::u16string kHub = device_text(u"", u"", u"", u"USB", u"Generic USB Hub");

std::string config(int allow_io, int allow_printers, int allow_network, const std::string& rules) {
  return R"({"usb":{"active":1,"action":2,"allow_io":)" + std::to_string(allow_io) + R"(,"allow_printers":)" +
         std::to_string(allow_printers) + R"(,"allow_network":)" + std::to_string(allow_network) +
         R"(,"report_on_allow":1,"allow_initial":1,"rules":)" + rules + "}}";
}

class DecisionTools : public testing_support::ConfigHost {
 protected:
  void SetUp() override {
    ConfigHost::SetUp();
    ASSERT_EQ(1, registry::reg_write_string(u"Software\\kavenor", u"RootPath", bin_path("../install")));
  }
  // The device text written to a file of the scratch folder, UTF-8 or UTF-16LE with its mark.
  std::string device_file(const std::u16string& text, bool utf16 = false) {
    const std::string path = native_dir() + "/device" + std::to_string(++files) + ".json";
    write_native_file(path, utf16 ? "\xFF\xFE" + text::to_utf16le(text) : text::to_utf8(text));
    return path;
  }
  testing_support::CommandResult tool(const std::vector<std::string>& args) {
    return testing_support::run_built("vostrelusb-tool", args, native_dir());
  }
  int files = 0;
};

}  // namespace

TEST_F(DecisionTools, ChecksumOfDeviceTexts) {
  struct Case {
    const char* name;
    std::string file;
    std::string checksum;
  };
  const Case cases[] = {
      {"no objects", device_file(u"{}"), "2832FD2E3A6E0AAB88E4563A8E886D0715F45A5B"},
      {"not JSON", device_file(u"USB stick"), "2832FD2E3A6E0AAB88E4563A8E886D0715F45A5B"},
      {"library document, UTF-8", device_file(decision_test::kKingstonStick), decision_test::kKingstonChecksum},
      {"library document, UTF-16LE", device_file(decision_test::kKingstonStick, true), decision_test::kKingstonChecksum},
      {"Polish text", device_file(device_text(u"Acme", u"Widget", u"SN1", u"USB", u"Urządzenie kompozytowe USB")),
       "850DCD2BAE1C3D6759A803EEB3B9ABB385189BFB"},
  };
  for (const Case& c : cases) {
    const auto result = tool({"checksum", c.file});
    EXPECT_EQ(0, result.status) << c.name << ": " << result.err;
    EXPECT_EQ(c.checksum + "\n", result.out.substr(0, 41)) << c.name;
  }
  const auto stick = tool({"checksum", device_file(decision_test::kKingstonStick)});
  EXPECT_EQ("6238BFA5EA55CCC09BE24075CCDE3A031B266BDB\n"
            "{\r\n"
            "    \"checksum\" : \"6238BFA5EA55CCC09BE24075CCDE3A031B266BDB\", \r\n"
            "    \"klasa\" : \"USB\", \r\n"
            "    \"numer\" : \"60A44C413AB2F0B0A9A0005B\", \r\n"
            "    \"opis\" : \"USB Mass Storage Device\", \r\n"
            "    \"producent\" : \"Kingston\", \r\n"
            "    \"produkt\" : \"DataTraveler 3.0\", \r\n"
            "    \"user\" : \"" + text::to_utf8(first_logged_on_user()) + "\"\r\n"
            "}\n",
            stick.out);
}

TEST_F(DecisionTools, BadArgumentsFailWithOneLine) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"checksum"}, {"checksum", native_dir() + "/missing.json"}, {"decide"}, {"decide", "a", "b"}}) {
    const auto result = tool(args);
    EXPECT_EQ(2, result.status);
    EXPECT_EQ("", result.out);
    EXPECT_EQ(1, std::count(result.err.begin(), result.err.end(), '\n')) << result.err;
  }
}

TEST_F(DecisionTools, DecideNamesTheRuleThatDecided) {
  const std::string kingston_block = R"([[{"producent":"=Kingston"},0]])";
  struct Case {
    const char* name;
    std::string config;
    std::u16string device;
    std::string out;
  };
  const Case cases[] = {
      {"configuration rule", config(1, 1, 1, kingston_block), decision_test::kKingstonStick, "0\nconfig_rules 1\n"},
      {"class rule of the input list", config(1, 1, 1, kingston_block), kMouse, "1\nio_rules 1\n"},
      {"hub rule of the input list", config(1, 1, 1, "[]"), kHub, "1\nio_rules 4\n"},
      {"input list off: the printers' hub rule", config(0, 1, 1, "[]"), kHub, "1\nprinter_rules 6\n"},
      {"printers off too: the network's hub rule", config(0, 0, 1, "[]"), kHub, "1\nnetwork_rules 2\n"},
      {"every built-in list off", config(0, 0, 0, "[]"), kHub, "65535\n-\n"},
      {"input list off: the mouse", config(0, 1, 1, "[]"), kMouse, "65535\n-\n"},
      {"device without texts", config(1, 1, 1, kingston_block), u"{}", "65535\n-\n"},
  };
  for (const Case& c : cases) {
    write_config(c.config);
    const auto result = tool({"decide", device_file(c.device)});
    EXPECT_EQ(0, result.status) << c.name << ": " << result.err;
    EXPECT_EQ(c.out, result.out) << c.name;
  }
  // Deciding changes nothing on the machine: no accept files, no reports, no report counter.
  EXPECT_FALSE(std::filesystem::exists(native_dir() + "/all users/kavenor/vostusb/accept"));
  EXPECT_FALSE(std::filesystem::exists(native_dir() + "/all users/kavenor/logs"));
  EXPECT_EQ(0u, registry::reg_read_dword(u"Software\\kavenor", u"ln", 0));
}

class RuleFileTest : public DecisionTools {
 protected:
  // Runs the guard with "/test:" and the file's path in double quotes, as the suite passes paths.
  void run_test(const std::string& native_path) {
    const std::u16string path = testing_support::FreshHost::win_path(native_path.substr(native_dir().size() + 1));
    const auto result = testing_support::run_built("vostrelusb", {"/test:\"" + text::to_utf8(path) + "\""}, native_dir());
    EXPECT_EQ(0, result.status) << result.err;
  }
};

TEST_F(RuleFileTest, EntriesNotAllowedAreCopiedBesideTheFile) {
  write_config(config(1, 1, 1, R"([[{"producent":"=Acme"},0]])"));
  const std::string list = native_dir() + "/devices.json";
  // A device list as the guard writes it: exact patterns, drive letters, an allowing verdict.
  write_native_file(list, text::to_utf8(
      uR"({"rules":[)"
      uR"([{"producent":"=Logitech","produkt":"=USB Receiver","numer":"=","klasa":"=HIDClass","opis":"=USB Input Device"},1],)"
      uR"([{"producent":"=Kingston","produkt":"=DataTraveler 3.0","numer":"=60A4","klasa":"=USB","opis":"=USB Mass Storage Device","dyski":"E"},1],)"
      uR"([{"producent":"=Acme","produkt":"=Żółta kamera","numer":"=1","klasa":"=Image","opis":"=Camera"},1],)"
      uR"("not a pair"]})"));
  run_test(list);
  EXPECT_EQ(text::to_utf8(
                u"{\r\n"
                u"    \"rules\" : [\r\n"
                u"        [\r\n"
                u"            {\r\n"
                u"                \"dyski\" : \"E\", \r\n"
                u"                \"klasa\" : \"=USB\", \r\n"
                u"                \"numer\" : \"=60A4\", \r\n"
                u"                \"opis\" : \"=USB Mass Storage Device\", \r\n"
                u"                \"producent\" : \"=Kingston\", \r\n"
                u"                \"produkt\" : \"=DataTraveler 3.0\"\r\n"
                u"            }, \r\n"
                u"            1\r\n"
                u"        ], \r\n"
                u"        [\r\n"
                u"            {\r\n"
                u"                \"klasa\" : \"=Image\", \r\n"
                u"                \"numer\" : \"=1\", \r\n"
                u"                \"opis\" : \"=Camera\", \r\n"
                u"                \"producent\" : \"=Acme\", \r\n"
                u"                \"produkt\" : \"=Żółta kamera\"\r\n"
                u"            }, \r\n"
                u"            1\r\n"
                u"        ], \r\n"
                u"        \"not a pair\"\r\n"
                u"    ]\r\n"
                u"}"),
            read_native_file(list + ".blocked.json"));
}

TEST_F(RuleFileTest, EveryEntryAllowedGivesAnEmptyObject) {
  write_config(config(1, 1, 1, "[]"));
  const std::string list = native_dir() + "/devices.json";
  write_native_file(list, R"({"rules":[[{"klasa":"=HIDClass","opis":"=USB Input Device"},1],)"
                          R"([{"klasa":"=USB","opis":"=Generic USB Hub"},1]]})");
  run_test(list);
  EXPECT_EQ("{\r\n}", read_native_file(list + ".blocked.json"));
}

TEST_F(RuleFileTest, MissingOrEmptyInputWritesNothing) {
  write_config(config(1, 1, 1, "[]"));
  const std::string empty = native_dir() + "/empty.json";
  write_native_file(empty, "");
  run_test(empty);
  run_test(native_dir() + "/missing.json");
  EXPECT_FALSE(std::filesystem::exists(empty + ".blocked.json"));
  EXPECT_FALSE(std::filesystem::exists(native_dir() + "/missing.json.blocked.json"));
}
