// devices [--json]: the USB devices connected now, as the driver control library lists them, with
// the description, checksum and verdict the guard would give each.
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "config/read_config.h"
#include "config/settings.h"
#include "decision/device_record.h"
#include "decision/rule_matching.h"
#include "library/usb/device_list.h"
#include "text/format.h"
#include "text/utf.h"
#include "tool/commands.h"
#include "tool/tool_io.h"

namespace tool {

namespace {

using VostUsbWardenManager::JsonHolder;

// As the service process asks for the list.
constexpr int kMaxHostItems = 100;

std::u16string vid_pid(const JsonHolder& document) {
  const JsonHolder& descriptor = document[u"DeviceDescriptor"];
  return text::format(u"%04X:%04X", static_cast<unsigned>(descriptor[u"idVendor"].NumberVal()),
                      static_cast<unsigned>(descriptor[u"idProduct"].NumberVal()));
}

std::u16string verdict_text(const RuleDecision& decision) {
  std::u16string rule = decision.list.empty() ? std::u16string(u"-")
                                              : std::u16string(decision.list) + text::format(u" %u", static_cast<unsigned>(decision.position));
  return text::format(u"%d ", decision.verdict) + rule;
}

// "<path> <VID:PID> <manufacturer>|<product>|<serial>|<class>|<description> drives=<letters>
// checksum=<checksum> verdict=<verdict> <rule>"
std::u16string device_line(const std::u16string& path, const JsonHolder& document) {
  const DeviceRecord record = build_device_record(document.ToString());
  const CUsbRule& d = record.description;
  const std::u16string letters = document[u"DriveLetters"].StringVal();
  const RuleDecision decision = decide_by_rules(d, false);
  return path + u" " + vid_pid(document) + u" " + d.producent + u"|" + d.produkt + u"|" + d.numer + u"|" + d.klasa +
         u"|" + d.opis + u" drives=" + (letters.empty() ? u"-" : letters) + u" checksum=" + record.checksum +
         u" verdict=" + verdict_text(decision) + u"\n";
}

}  // namespace

int cmd_devices(const Args& args) {
  const bool json = args.size() == 1 && args[0] == "--json";
  if (!args.empty() && !json) return fail(2, "usage: devices [--json]");
  JsonHolder list;
  std::vector<std::u16string> paths;
  std::u16string status_text;
  const std::uint32_t code =
      VostUsbWardenManager::GetCurrentUSBDevicesWithPorts(kMaxHostItems, list, &paths, status_text);
  if (code != 0) return fail(1, std::to_string(code) + ": " + text::to_utf8_display(status_text));
  if (json) {
    write_stdout(text::to_utf8_display(list.ToString()));
    return 0;
  }
  read_config();
  std::lock_guard<std::recursive_mutex> lock(config_lock);
  std::u16string out;
  for (std::size_t i = 0; i < list.Count(); ++i) out += device_line(paths[i], list[static_cast<int>(i)]);
  write_stdout(text::to_utf8_display(out));
  return 0;
}

}  // namespace tool
