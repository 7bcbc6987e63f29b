#include "decision/unknown_drives.h"

#include <mutex>
#include <string>

#include "config/settings.h"
#include "config/usb_rule.h"
#include "decision/current_usb_list.h"
#include "decision/device_record.h"
#include "decision/device_report.h"
#include "decision/json_copy.h"
#include "decision/rule_matching.h"
#include "decision/volume_eject.h"
#include "json/json_node.h"
#include "platform/os.h"
#include "process/diagnostics.h"
#include "process/named_paths.h"
#include "process/paths.h"
#include "text/format.h"

namespace {

// Allowed when a rule allows the device, or when a rule allows its serial number alone (a block
// by the first evaluation does not stand against that).
bool allowed_by_rules(const CUsbRule& description) {
  std::lock_guard<std::recursive_mutex> lock(config_lock);
  return evaluate_rules(description, false) == kAllow || evaluate_rules(description, true) == kAllow;
}

// Ejects each removable one of the drives; fixed disks and CD-ROM drives are left alone.
void eject_removable(const std::u16string& drives) {
  for (char16_t letter : drives) {
    const std::u16string root = text::format(u"%c:\\", letter);
    if (os::GetDriveTypeW(root.c_str()) == DRIVE_REMOVABLE) eject_volume(letter);
  }
}

}  // namespace

void eject_unknown_drives() {
  if (!g_manager) return;
  CJsonNode document;
  if (!generate_current_usb_list(document, 0, 0)) return;
  paths::write_utf16_file(paths::data_path(u"tmp\\devices_found.txt"), document.serialise(0));

  std::u16string ejected = u"Unknown devices ejected " + diag::local_time_text() + u"\r\n";
  const std::u16string user = first_logged_on_user();
  for (auto& entry : document[u"rules"].children()) {
    CJsonNode& pair = entry.second;
    CUsbRule description;
    if (!rule_from_pair(pair, description)) continue;
    CJsonNode& device = pair.children().begin()->second;
    const std::u16string drives = member_text(device, u"dyski");
    if (drives.empty() || allowed_by_rules(description)) continue;

    // The list carries no checksum: "Suma kontrolna" stays empty.
    device.set_string(u"user", user);
    report_device(device, false, true);
    ejected += pair.serialise(0) + u"\r\n";
    eject_removable(drives);
  }
  paths::write_utf16_file(paths::data_path(u"tmp\\devices_ejected.txt"), ejected);
}
