#include "monitor_config.h"

#include "config/config_file.h"
#include "config/data_file.h"
#include "process/installation.h"
#include "platform/handle.h"
#include "process/paths.h"
#include "text/number.h"

namespace {

constexpr char16_t kDefaultDocument[] =
    u"{\"usb\":{\"active\":1,\"action\":2,\"allow_io\":1,\"allow_printers\":1,\"allow_network\":1,"
    u"\"report_on_allow\":1,\"allow_initial\":1,\"rules\":[]}}";

// A document counts when it holds more than an empty object.
bool read_document(const std::u16string& file, CJsonNode& document) {
  CDataFile data;
  if (file.empty() || !data.read(file)) return false;
  return document.parse(data.text()) == 1 && !document.children().empty();
}

}  // namespace

std::u16string MonitorConfig::load(const std::u16string& file) {
  path = file;
  if (read_document(path, document)) return path;
  const std::u16string copy = installation_file(u"bin\\cfg.json");
  if (read_document(copy, document)) return copy;
  document.parse(kDefaultDocument);
  return u"built-in default";
}

CJsonNode& MonitorConfig::rules() {
  if (!document.has_member(u"usb") || document[u"usb"].type() != CJsonNode::kObject) {
    document.add_node(u"usb", CJsonNode());
  }
  CJsonNode& usb = document[u"usb"];
  // Anything but an array is replaced by a fresh node, which the first appended pair makes an array.
  if (!usb.has_member(u"rules") || usb[u"rules"].type() != CJsonNode::kArray) usb.add_node(u"rules", CJsonNode());
  return usb[u"rules"];
}

bool MonitorConfig::add_rule(std::u16string_view message) {
  if (message.substr(0, kAddRule.size()) != kAddRule) return false;
  message.remove_prefix(kAddRule.size());
  const std::size_t colon = message.find(u':');
  if (colon == std::u16string_view::npos || colon == 0) return false;
  for (char16_t c : message.substr(0, colon)) {
    if (c < u'0' || c > u'9') return false;
  }
  const int verdict = text::wtoi(message.substr(0, colon));

  CJsonNode device;
  if (device.parse(message.substr(colon + 1)) != 1 || device.type() != CJsonNode::kObject || device.children().empty()) {
    return false;
  }
  CJsonNode pair;
  pair.append_node(std::move(device));
  pair.append_integer(verdict);
  rules().append_node(std::move(pair));
  return save();
}

bool MonitorConfig::save() const {
  // Readers wait while the mutex exists; it goes away with the handle.
  os::unique_handle loading(os::CreateMutexW(nullptr, TRUE, kLoadingMutex));
  return paths::write_utf16_file(path, document.serialise(0)) == 1;
}
