// A fresh machine for the current device list and the drive ejection: a DecisionHost with a
// driver connection (g_manager) and a USB machine of the test's own.
#pragma once

#include <memory>
#include <string>

#include "decision/decision_host.h"
#include "json/json_node.h"
#include "library/manager.h"

namespace decision_test {

class ListHost : public DecisionHost {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Loads a machine with one controller whose root ports hold `devices` (the members of a
  // fixture's "devices", where "file" names a fixture of sim/fixtures/devices).
  void load_machine(const std::string& devices) const;
  // The "current_usb" file as text (UTF-16LE), and its path.
  std::u16string current_usb_text() const { return read_utf16_file(data_native("vostusb/current_usb.json")); }
  std::string current_usb_native() const { return data_native("vostusb/current_usb.json"); }

 private:
  std::unique_ptr<VostUsbWardenManager::Manager> manager_;
};

// A document read from text.
CJsonNode parsed(const std::u16string& text);

}  // namespace decision_test
