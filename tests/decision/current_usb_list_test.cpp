// The current device list: the initial list and its rules on a machine with a mouse and a memory
// stick, the list at a caller's path, the texts taken from each kind of device document, library
// failures, and the initial rules read from damaged files.
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "config/scramble.h"
#include "config/settings.h"
#include "config/usb_rule.h"
#include "decision/current_usb_list.h"
#include "decision/list_host.h"
#include "decision/rule_matching.h"
#include "process/named_paths.h"
#include "text/utf.h"

namespace decision_test {
namespace {

using testing_support::read_native_file;
using testing_support::write_native_file;

const char kMouseAndStick[] = R"("1": {"file": "mouse.json"}, "2": {"file": "usb_stick.json"})";

// The mouse of mouse.json as the exact rule the list holds for it (it has no serial number).
const CUsbRule kMouse{u"=USB Optical Mouse", u"=PixArt", u"=", u"=HIDClass", u"=USB Input Device", 1};

class CurrentUsbList : public ListHost {
 protected:
  std::vector<CUsbRule> initial() const {
    std::lock_guard<std::recursive_mutex> lock(config_lock);
    return initial_rules;
  }
};

bool same_rule(const CUsbRule& a, const CUsbRule& b) {
  return a.produkt == b.produkt && a.producent == b.producent && a.numer == b.numer && a.klasa == b.klasa &&
         a.opis == b.opis && a.action == b.action;
}

TEST_F(CurrentUsbList, TheFirstListHoldsTheMouseButNotTheStickAndIsKept) {
  load_machine(kMouseAndStick);
  ensure_current_usb_list();

  const std::string bytes = read_native_file(current_usb_native());
  ASSERT_FALSE(bytes.empty());
  EXPECT_EQ('{', bytes[0]) << "UTF-16LE without byte-order mark";
  EXPECT_EQ(u"{\r\n    \"rules\" : [\r\n        [\r\n            {\r\n"
            u"                \"klasa\" : \"=HIDClass\", \r\n"
            u"                \"numer\" : \"=\", \r\n"
            u"                \"opis\" : \"=USB Input Device\", \r\n"
            u"                \"producent\" : \"=PixArt\", \r\n"
            u"                \"produkt\" : \"=USB Optical Mouse\"\r\n"
            u"            }, \r\n            1\r\n        ]\r\n    ]\r\n}",
            current_usb_text());
  const std::vector<CUsbRule> rules = initial();
  ASSERT_EQ(1u, rules.size());
  EXPECT_TRUE(same_rule(kMouse, rules[0]));
  EXPECT_EQ(1u, lines_with(u"Initial rules count: 1").size());

  // The mouse is allowed by its initial rule; the stick is left to the decision at its next plug.
  const CUsbRule mouse{u"USB Optical Mouse", u"PixArt", u"", u"HIDClass", u"USB Input Device", 1};
  const CUsbRule stick{u"DataStick 3.0", u"Kingmax", u"E0D55EA573DCF450E97C0D5A", u"USB", u"USB Mass Storage Device", 1};
  {
    std::lock_guard<std::recursive_mutex> lock(config_lock);
    EXPECT_EQ(kAllow, evaluate_rules(mouse, false));
    EXPECT_EQ(kUndecided, evaluate_rules(stick, false));
  }

  // Written once: another machine later changes nothing while the file exists.
  load_machine(R"("3": {"file": "keyboard.json"})");
  ensure_current_usb_list();
  EXPECT_EQ(bytes, read_native_file(current_usb_native()));
  EXPECT_EQ(1u, lines_with(u"Current USB list generated.").size());
}

TEST_F(CurrentUsbList, ACallersPathGetsEveryDeviceInUtf8) {
  load_machine(std::string(kMouseAndStick) + R"(, "3": {"file": "mouse.json", "manufacturer": "Zażółć", "serial": "7"})");
  const std::u16string target = win_path("out/list.json");
  write_current_usb_list(target, 0);

  const std::string bytes = read_native_file(native_dir() + "/out/list.json");
  ASSERT_FALSE(bytes.empty());
  EXPECT_EQ('{', bytes[0]) << "no byte-order mark";
  EXPECT_NE(std::string::npos, bytes.find("\"=Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87\"")) << bytes;
  CJsonNode list = parsed(text::from_utf8(bytes));
  CJsonNode& rules = list[u"rules"];
  ASSERT_EQ(3u, rules.children().size());
  std::vector<std::u16string> drives;
  std::vector<std::u16string> serials;
  for (auto& pair : rules.children()) {
    CJsonNode& device = pair.second.children().begin()->second;
    drives.push_back(member_text(device, u"dyski"));
    serials.push_back(member_text(device, u"numer"));
  }
  EXPECT_EQ((std::vector<std::u16string>{u"", u"E", u""}), drives);
  EXPECT_EQ((std::vector<std::u16string>{u"=", u"=E0D55EA573DCF450E97C0D5A", u"=7"}), serials);
  EXPECT_FALSE(os::GetFileAttributesW(get_named_path(u"current_usb").c_str()) != INVALID_FILE_ATTRIBUTES)
      << "a caller's list is not the current list";
}

// A path that cannot take the file: nothing is written there, and the line names the path.
TEST_F(CurrentUsbList, AnUnwritablePathIsReportedAndNothingElseChanges) {
  load_machine(kMouseAndStick);
  write_native_file(native_dir() + "/plain", "a file");
  std::filesystem::create_directories(native_dir() + "/folder");
  for (const char* target : {"plain/list.json", "folder"}) {
    SCOPED_TRACE(target);
    write_current_usb_list(win_path(target), 0);
    EXPECT_EQ(1u, lines_with(u"Current USB list not written: " + win_path(target)).size());
  }
  EXPECT_EQ("a file", read_native_file(native_dir() + "/plain"));
  EXPECT_TRUE(std::filesystem::is_directory(native_dir() + "/folder"));
  EXPECT_EQ("", read_native_file(current_usb_native()));
}

// One device document of the library's list, and the rule the list makes of it.
struct TextsCase {
  const char* name;
  const char16_t* document;
  int exact;
  const char16_t* producent;
  const char16_t* produkt;
  const char16_t* numer;
  const char16_t* klasa;
  const char16_t* opis;
  const char16_t* dyski;  // nullptr: no "dyski"
};

const char16_t* g_list_text = u"";
std::uint32_t fake_list(int, std::u16string& text, std::u16string&) {
  text = g_list_text;
  return 0;
}

TEST_F(CurrentUsbList, TheTextsOfEachKindOfDeviceDocument) {
  const TextsCase cases[] = {
      {"whole", uR"({"DeviceDescriptor": {"Manufacturer": "M", "Product": "P", "SerialNumber": "S"},
                    "DeviceProperty": {"ClassName": "C", "DeviceDescription": "D"}, "DriveLetters": ""})",
       1, u"=M", u"=P", u"=S", u"=C", u"=D", nullptr},
      {"no DeviceProperty", uR"({"DeviceDescriptor": {"Manufacturer": "M", "Product": "P", "SerialNumber": "S"}})", 1,
       u"=M", u"=P", u"=S", u"=-", u"=-", nullptr},
      {"no DeviceDescriptor", uR"({"DeviceProperty": {"ClassName": "C", "DeviceDescription": "D"}})", 1, u"=-", u"=-",
       u"=-", u"=C", u"=D", nullptr},
      {"empty and missing members", uR"({"DeviceDescriptor": {"SerialNumber": ""}, "DeviceProperty": {}})", 1, u"=",
       u"=", u"=", u"=", u"=", nullptr},
      {"a number as serial", uR"({"DeviceDescriptor": {"SerialNumber": 123}, "DeviceProperty": {}})", 1, u"=", u"=",
       u"=123", u"=", u"=", nullptr},
      {"an exponent number ahead of the class", uR"({"DeviceProperty": {"BusTypeGuid": {"Data1": 2.64077e+09},
                    "ClassName": "USB", "DeviceDescription": "D"}})",
       1, u"=-", u"=-", u"=-", u"=USB", u"=D", nullptr},
      {"drive letters", uR"({"DeviceDescriptor": {}, "DeviceProperty": {}, "DriveLetters": "EF"})", 1, u"=", u"=", u"=",
       u"=", u"=", u"EF"},
      {"plain texts", uR"({"DeviceDescriptor": {"Manufacturer": "M"}, "DriveLetters": "G"})", 0, u"M", u"", u"", u"-",
       u"-", u"G"},
  };
  set_device_list_source(fake_list);
  for (const TextsCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::u16string list = u"[" + std::u16string(c.document) + u"]";
    g_list_text = list.c_str();
    CJsonNode document;
    ASSERT_EQ(1, generate_current_usb_list(document, c.exact, 0));
    CJsonNode& rules = document[u"rules"];
    ASSERT_EQ(1u, rules.children().size());
    CJsonNode& pair = rules.children().begin()->second;
    ASSERT_EQ(2u, pair.children().size());
    CJsonNode& device = pair.children().begin()->second;
    EXPECT_EQ(c.producent, member_text(device, u"producent"));
    EXPECT_EQ(c.produkt, member_text(device, u"produkt"));
    EXPECT_EQ(c.numer, member_text(device, u"numer"));
    EXPECT_EQ(c.klasa, member_text(device, u"klasa"));
    EXPECT_EQ(c.opis, member_text(device, u"opis"));
    EXPECT_EQ(c.dyski != nullptr, device.has_member(u"dyski"));
    if (c.dyski) {
      EXPECT_EQ(c.dyski, member_text(device, u"dyski"));
    }
    EXPECT_EQ(1, std::next(pair.children().begin())->second.number());
  }
  // A device with drive letters is left out when asked; a list that is no JSON gives no rules.
  g_list_text = uR"([{"DriveLetters": "E"}, {"DriveLetters": ""}])";
  CJsonNode skipped;
  ASSERT_EQ(1, generate_current_usb_list(skipped, 1, 1));
  EXPECT_EQ(1u, skipped[u"rules"].children().size());
  g_list_text = u"not a list";
  CJsonNode none;
  ASSERT_EQ(1, generate_current_usb_list(none, 1, 0));
  EXPECT_EQ(u"{\r\n    \"rules\" : [\r\n    ]\r\n}", none.serialise(0));
}

std::uint32_t failing_list(int, std::u16string& text, std::u16string& status) {
  text = u"[]";
  status = u"GetDeviceInstancesMap: root 100%";
  return 13;
}

TEST_F(CurrentUsbList, ALibraryFailureWritesNothingAndTheOldFileStays) {
  set_device_list_source(failing_list);
  write_native_file(current_usb_native(), "old");
  write_current_usb_list(u"", 1);
  EXPECT_EQ("old", read_native_file(current_usb_native()));
  write_current_usb_list(win_path("asked.json"), 0);
  EXPECT_EQ("", read_native_file(native_dir() + "/asked.json"));
  const auto errors = lines_with(u"generate_current_usb_list error: ");
  ASSERT_EQ(2u, errors.size());
  EXPECT_NE(std::u16string::npos, errors[0].find(u"generate_current_usb_list error: 13 : GetDeviceInstancesMap: root 100_"));

  // Without the file, the first start finds no initial rules.
  std::remove(current_usb_native().c_str());
  ensure_current_usb_list();
  EXPECT_EQ("", read_native_file(current_usb_native()));
  EXPECT_EQ(1u, lines_with(u"No initial rules file.").size());
}

TEST_F(CurrentUsbList, WithoutADriverConnectionNothingIsListed) {
  load_machine(kMouseAndStick);
  g_manager = nullptr;
  write_current_usb_list(u"", 1);
  write_current_usb_list(win_path("asked.json"), 0);
  EXPECT_EQ("", read_native_file(current_usb_native()));
  EXPECT_EQ("", read_native_file(native_dir() + "/asked.json"));
  EXPECT_TRUE(lines_with(u"Current USB list generated.").empty());
}

// The "current_usb" file as it may be found: the count line counts the elements of "rules", and
// only well-shaped pairs become rules. An earlier list is replaced in every case.
TEST_F(CurrentUsbList, InitialRulesFromDamagedFiles) {
  const std::string good = R"({"rules": [[{"produkt": "=A"}, 1], [{"produkt": "=B"}, 0]]})";
  struct Case {
    const char* name;
    std::string bytes;  // nothing written when empty
    const char16_t* count_line;  // nullptr: no count line
    std::size_t loaded;
  } const cases[] = {
      {"missing", "", nullptr, 0},
      {"UTF-16LE", testing_support::utf16_bytes(good), u"Initial rules count: 2", 2},
      {"scrambled", scramble::scramble_file(testing_support::utf16_bytes(good)), u"Initial rules count: 2", 2},
      {"malformed pairs",
       R"({"rules": [[{"produkt": "=A"}, 1], [{"produkt": "=B"}], "x", [{"produkt": "=C"}, 1, 2], ["=D", 1], [{"produkt": "=E", "dyski": "E"}, 0]]})",
       u"Initial rules count: 6", 2},
      {"truncated", good.substr(0, good.find("\"=B")), u"Initial rules count: 2", 1},
      {"rules not a list", R"({"rules": 7})", u"Initial rules count: 0", 0},
      {"not JSON", "\x01\x02garbage", u"Initial rules count: 0", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove(current_usb_native().c_str());
    if (!c.bytes.empty()) write_native_file(current_usb_native(), c.bytes);
    {
      std::lock_guard<std::recursive_mutex> lock(config_lock);
      initial_rules.assign(3, CUsbRule{});
    }
    const std::size_t counts_before = lines_with(u"Initial rules count: ").size();
    load_initial_rules();
    const auto counts = lines_with(u"Initial rules count: ");
    if (c.count_line) {
      ASSERT_EQ(counts_before + 1, counts.size());
      EXPECT_NE(std::u16string::npos, counts.back().find(c.count_line)) << text::to_utf8(counts.back());
    } else {
      EXPECT_EQ(counts_before, counts.size());
    }
    EXPECT_EQ(c.loaded, initial().size());
  }
  EXPECT_EQ(1u, lines_with(u"No initial rules file.").size());
}

}  // namespace
}  // namespace decision_test
