// The ejection of unknown drives: which devices are ejected and reported under which rules, the
// two files under "tmp", the report, fixed disks and devices without drives left alone, volumes
// that do not lock, dismount or eject, and no connection or list at all.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "config/settings.h"
#include "decision/current_usb_list.h"
#include "decision/list_host.h"
#include "decision/rule_lists.h"
#include "decision/unknown_drives.h"
#include "decision/volume_eject.h"
#include "platform/sim/usb_store.h"
#include "process/named_paths.h"
#include "text/utf.h"

namespace decision_test {
namespace {

using testing_support::read_native_file;

const char16_t kStickSerial[] = u"E0D55EA573DCF450E97C0D5A";

class UnknownDrives : public ListHost {
 protected:
  void SetUp() override {
    ListHost::SetUp();
    volume_lock_wait.pause_ms = 1;
  }
  void TearDown() override {
    volume_lock_wait = VolumeLockWait{};
    ListHost::TearDown();
  }

  std::u16string ejected_text() const { return read_utf16_file(data_native("tmp/devices_ejected.txt")); }
  std::u16string found_text() const { return read_utf16_file(data_native("tmp/devices_found.txt")); }
  // The lines of devices_ejected.txt after its first line.
  std::vector<std::u16string> ejected_pairs() const {
    std::vector<std::u16string> pairs;
    std::u16string text = ejected_text();
    std::size_t start = text.find(u"\r\n");
    while (start != std::u16string::npos && start + 2 < text.size()) {
      // Each pair is written over several lines; pairs end with "]" and CR LF.
      const std::size_t end = text.find(u"]\r\n", start + 2);
      if (end == std::u16string::npos) break;
      pairs.push_back(text.substr(start + 2, end + 1 - (start + 2)));
      start = end + 1;
    }
    return pairs;
  }
};

// Whether the stored machine records the volume as ejected (the programs no longer see it then),
// and how many lock refusals it has left.
bool stored_ejected(char letter, int* lock_failures_left = nullptr) {
  namespace usb = os::sim::usb;
  bool ejected = false;
  usb::change_machine([&](usb::Machine& machine) {
    usb::for_each_device(machine, [&](const usb::Device& device, const usb::PortPath&) {
      for (const usb::Disk& disk : device.disks)
        for (const usb::Volume& v : disk.volumes)
          if (v.letter == letter) {
            ejected = v.ejected;
            if (lock_failures_left) *lock_failures_left = v.lock_failures;
          }
    });
    return false;
  });
  return ejected;
}

TEST_F(UnknownDrives, AnUnknownStickIsEjectedAndReportedAFixedDiskOnlyReported) {
  load_machine(R"("1": {"file": "mouse.json"}, "2": {"file": "usb_stick.json"}, "3": {"file": "usb_hard_disk.json"})");
  eject_unknown_drives();

  EXPECT_EQ(static_cast<UINT>(DRIVE_NO_ROOT_DIR), os::GetDriveTypeW(u"E:\\"));
  EXPECT_TRUE(stored_ejected('E'));
  EXPECT_EQ(static_cast<UINT>(DRIVE_FIXED), os::GetDriveTypeW(u"H:\\")) << "a fixed disk is not ejected";
  EXPECT_FALSE(stored_ejected('H'));

  // Every device in the found list, with plain texts.
  CJsonNode found = parsed(found_text());
  EXPECT_EQ(3u, found[u"rules"].children().size());
  EXPECT_NE(std::u16string::npos, found_text().find(u"\"produkt\" : \"USB Optical Mouse\""));

  const std::u16string ejected = ejected_text();
  EXPECT_EQ(0u, without_times(ejected).find(u"Unknown devices ejected <time>\r\n")) << text::to_utf8(ejected);
  const std::vector<std::u16string> pairs = ejected_pairs();
  ASSERT_EQ(2u, pairs.size()) << text::to_utf8(ejected);
  CJsonNode stick = parsed(u"{\"pair\": " + pairs[0] + u"}");
  CJsonNode& object = stick[u"pair"].children().begin()->second;
  EXPECT_EQ(u"E", member_text(object, u"dyski"));
  EXPECT_EQ(kStickSerial, member_text(object, u"numer"));
  EXPECT_EQ(u"0", member_text(object, u"action"));
  EXPECT_TRUE(object.has_member(u"user"));
  EXPECT_TRUE(object.has_member(u"time"));
  EXPECT_NE(std::u16string::npos, pairs[1].find(u"\"dyski\" : \"H\""));

  // Two reports of blocked devices, category 14, kind 3.
  const std::vector<std::string> reports = report_files();
  ASSERT_EQ(2u, reports.size());
  for (const std::string& name : reports) EXPECT_NE(std::string::npos, name.find("-1403.json")) << name;
  bool stick_report_seen = false;
  for (const std::string& name : reports) {
    const std::u16string text = read_utf16_file(data_native("logs/" + name));
    if (text.find(u"\"value\" : \"E\"") == std::u16string::npos) continue;
    stick_report_seen = true;
    CJsonNode report = parsed(text);
    EXPECT_EQ(u"Zablokowane urządzenie USB", member_text(report[u"params"], u"title"));
    std::vector<std::u16string> events;
    std::vector<std::u16string> values;
    for (auto& entry : report[u"report"].children()) {
      events.push_back(member_text(entry.second, u"event"));
      values.push_back(member_text(entry.second, u"value"));
      EXPECT_FALSE(entry.second.has_member(u"id"));
    }
    EXPECT_EQ((std::vector<std::u16string>{u"Producent", u"Produkt", u"Klasa", u"Opis", u"Numer seryjny", u"Suma kontrolna",
                                           u"Użytkownik", u"Dyski", u"Akcja"}),
              events);
    EXPECT_EQ((std::vector<std::u16string>{u"Kingmax", u"DataStick 3.0", u"USB", u"USB Mass Storage Device", kStickSerial,
                                           u"", u"", u"E", u"Zablokowane"}),
              values);
    EXPECT_EQ(u"E", member_text(report[u"info"].children().begin()->second, u"dyski"));
  }
  EXPECT_TRUE(stick_report_seen);
}

// Which rules keep the memory stick: a rule that allows it, or one that allows its serial number
// alone, even against a rule that blocks it first.
TEST_F(UnknownDrives, TheRulesThatKeepAStick) {
  const std::u16string serial = kStickSerial;
  const CUsbRule exact_allow{u"=DataStick 3.0", u"=Kingmax", u"=" + serial, u"=USB", u"=USB Mass Storage Device", 1};
  const CUsbRule block_all{u"", u"", u"", u"", u"", 0};
  const CUsbRule serial_allow{u"=Another product", u"", serial, u"", u"", 1};
  struct Case {
    const char* name;
    std::vector<CUsbRule> config;
    std::vector<CUsbRule> initial;
    int allow_initial;
    bool ejected;
  } const cases[] = {
      {"no rule", {}, {}, 1, true},
      {"a configuration rule allows it", {exact_allow}, {}, 1, false},
      {"a block, then its serial number allowed", {block_all, serial_allow}, {}, 1, false},
      {"a block only", {block_all}, {}, 1, true},
      {"an initial rule", {}, {exact_allow}, 1, false},
      {"an initial rule while initial rules are off", {}, {exact_allow}, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    load_machine(R"("2": {"file": "usb_stick.json"}, "3": {"file": "keyboard.json"})");
    {
      std::lock_guard<std::recursive_mutex> lock(config_lock);
      config_rules = c.config;
      initial_rules = c.initial;
      allow_initial = c.allow_initial;
    }
    const std::size_t reports_before = report_files().size();
    eject_unknown_drives();
    EXPECT_EQ(c.ejected, stored_ejected('E'));
    EXPECT_EQ(c.ejected ? 1u : 0u, ejected_pairs().size());
    EXPECT_EQ(reports_before + (c.ejected ? 1 : 0), report_files().size());
    if (!c.ejected) {
      EXPECT_EQ(u"Unknown devices ejected <time>\r\n", without_times(ejected_text()));
    }
  }
}

// A volume that stays mounted is still reported and listed; a line names the drive and the step.
TEST_F(UnknownDrives, AVolumeThatStaysMountedIsNamedWithTheStepThatFailed) {
  struct Case {
    const char* volume;
    const char16_t* line;
  } const cases[] = {
      {R"({"letter": "E", "lock_failures": 25})", u"Drive E: not ejected, lock failed, error 5."},
      {R"({"letter": "E", "dismount_error": 32})", u"Drive E: not ejected, dismount failed, error 32."},
      {R"({"letter": "E", "eject_error": 21})", u"Drive E: not ejected, eject failed, error 21."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.volume);
    load_machine(std::string(R"("2": {"file": "usb_stick.json", "disks": [{"volumes": [)") + c.volume + "]}]}");
    const std::size_t reports_before = report_files().size();
    eject_unknown_drives();
    EXPECT_EQ(static_cast<UINT>(DRIVE_REMOVABLE), os::GetDriveTypeW(u"E:\\"));
    EXPECT_EQ(1u, ejected_pairs().size());
    EXPECT_EQ(reports_before + 1, report_files().size());
    EXPECT_EQ(1u, lines_with(c.line).size());
  }
  // The lock was tried 20 times: 5 of the 25 stored refusals are left.
  load_machine(R"("2": {"file": "usb_stick.json", "disks": [{"volumes": [{"letter": "E", "lock_failures": 25}]}]})");
  eject_unknown_drives();
  int left = 0;
  stored_ejected('E', &left);
  EXPECT_EQ(5, left);
}

std::uint32_t failing_list(int, std::u16string&, std::u16string& status) {
  status = u"no tree";
  return 13;
}

TEST_F(UnknownDrives, NothingHappensWithoutAConnectionOrAList) {
  load_machine(R"("2": {"file": "usb_stick.json"})");
  VostUsbWardenManager::Manager* const connection = g_manager;
  g_manager = nullptr;
  eject_unknown_drives();
  g_manager = connection;
  set_device_list_source(failing_list);
  eject_unknown_drives();
  EXPECT_EQ(static_cast<UINT>(DRIVE_REMOVABLE), os::GetDriveTypeW(u"E:\\"));
  EXPECT_EQ("", read_native_file(data_native("tmp/devices_found.txt")));
  EXPECT_EQ("", read_native_file(data_native("tmp/devices_ejected.txt")));
  EXPECT_TRUE(report_files().empty());
  EXPECT_EQ(1u, lines_with(u"generate_current_usb_list error: 13 : no tree").size());
}

}  // namespace
}  // namespace decision_test
