#include "decision/current_usb_list.h"

#include <atomic>
#include <mutex>

#include "config/data_file.h"
#include "config/settings.h"
#include "config/usb_rule.h"
#include "decision/device_record.h"
#include "json/json_node.h"
#include "library/manager.h"
#include "platform/os.h"
#include "process/diagnostics.h"
#include "process/named_paths.h"
#include "process/paths.h"
#include "text/format.h"

namespace {

constexpr int kHostControllerLimit = 100;

std::atomic<DeviceListSource> list_source{nullptr};

std::uint32_t list_devices(std::u16string& list_text, std::u16string& status_text) {
  const DeviceListSource source = list_source.load();
  if (source) return source(kHostControllerLimit, list_text, status_text);
  return VostUsbWardenManager::Manager::GetCurrentUSBDevicesJSONListText(kHostControllerLimit, list_text, status_text);
}

// An empty array: the node becomes an array with its first element, which then goes again.
CJsonNode empty_array() {
  CJsonNode array;
  array.append_integer(0);
  array.clear();
  return array;
}

}  // namespace

void set_device_list_source(DeviceListSource source) { list_source.store(source); }

int generate_current_usb_list(CJsonNode& document, int exact, int skip_drives) {
  std::u16string list_text;
  std::u16string status_text;
  const std::uint32_t code = list_devices(list_text, status_text);
  if (code != 0) {
    _COUT(u"generate_current_usb_list error: " + text::format(u"%i", static_cast<int>(code)) + u" : " + status_text);
    return 0;
  }

  CJsonNode parsed;
  // The library writes numbers of a million or more in exponent form ("Data1" of "BusTypeGuid");
  // read as one token, they do not stop the reader before the members after them.
  parsed.set_wide_numbers(true);
  parsed.parse(u"{\"DEVS\":" + list_text + u"}");
  CJsonNode& devices = parsed[u"DEVS"];

  CJsonNode rules = empty_array();
  const std::u16string_view prefix = exact ? u"=" : u"";
  for (auto& entry : devices.children()) {
    CJsonNode& device = entry.second;
    const CUsbRule texts = device_texts(device);
    const std::u16string drives = member_text(device, u"DriveLetters");
    if (skip_drives && !drives.empty()) continue;
    CJsonNode object;
    set_device_texts(object, texts, prefix);
    if (!drives.empty()) object.set_string(u"dyski", drives);
    CJsonNode pair;
    pair.append_node(std::move(object));
    pair.append_integer(1);
    rules.append_node(std::move(pair));
  }
  document.add_node(u"rules", std::move(rules));
  _COUT(u"Current USB list generated.");
  return 1;
}

void write_current_usb_list(const std::u16string& target, int skip_drives) {
  if (!g_manager) return;
  CJsonNode document;
  if (!generate_current_usb_list(document, 1, skip_drives)) return;
  const std::u16string text = document.serialise(0);
  const std::u16string path = target.empty() ? get_named_path(u"current_usb") : target;
  const int written = target.empty() ? paths::write_utf16_file(path, text) : paths::write_utf8_file(path, text);
  // Nobody waits for the file: without this line a list that could not be written would leave no
  // trace but its absence.
  if (!written) _COUT(u"Current USB list not written: " + path);
}

void ensure_current_usb_list() {
  if (os::GetFileAttributesW(get_named_path(u"current_usb").c_str()) != INVALID_FILE_ATTRIBUTES) return;
  write_current_usb_list(u"", 1);
  load_initial_rules();
}

void load_initial_rules() {
  ODS_ENTER();
  {
    std::lock_guard<std::recursive_mutex> lock(config_lock);
    initial_rules.clear();
    CDataFile file;
    if (!file.read(get_named_path(u"current_usb"))) {
      _COUT(u"No initial rules file.");
    } else {
      CJsonNode document;
      if (document.parse(file.text())) {
        CJsonNode& rules = document[u"rules"];
        _COUT(text::format(u"Initial rules count: %i", static_cast<int>(rules.children().size())));
        append_rules(rules, initial_rules);
      }
    }
    ODS_LEAVE();
  }
}
