#include "config/read_config.h"

#include <atomic>
#include <mutex>
#include <string_view>
#include <vector>

#include "config/config_file.h"
#include "config/data_file.h"
#include "config/settings.h"
#include "decision/current_usb_list.h"
#include "json/json_node.h"
#include "process/diagnostics.h"
#include "process/installation.h"

namespace {

struct Setting {
  std::u16string_view key;
  int* value;
  int monitor_default;  // when the monitor's document lacks the key
};

// In the order in which they are read.
const Setting kSettings[] = {
    {u"active", &active, 0},
    {u"action", &action, 2},
    {u"allow_io", &allow_io, 1},
    {u"allow_printers", &allow_printers, 1},
    {u"allow_network", &allow_network, 1},
    {u"report_on_allow", &report_on_allow, 1},
    {u"allow_initial", &allow_initial, 1},
};

// On the monitor's (strict) document a missing "usb" or key throws and the monitor default holds;
// on the file's document a missing one is created empty and reads as 0.
// Each is stored atomically: a decision reads "active" without waiting for config_lock.
void read_settings(CJsonNode& document) {
  for (const Setting& setting : kSettings) {
    int value;
    try {
      value = integer_value(document[u"usb"][setting.key]);
    } catch (const CJsonMissingMember&) {
      value = setting.monitor_default;
    }
    if (setting.value == &active) value = value != 0 ? 1 : 0;
    std::atomic_ref<int>(*setting.value).store(value);
  }
}

// A built-in rule file of the installation: its member "rules". Missing, empty or not JSON gives
// an empty list.
void load_rule_file(std::u16string_view name, std::vector<CUsbRule>& list) {
  list.clear();
  CDataFile file;
  if (!file.read(installation_file(name))) return;
  CJsonNode document;
  document.parse(file.text());
  append_rules(document[u"rules"], list);
}

void load_config_rules(CJsonNode& document) {
  config_rules.clear();
  try {
    append_rules(document[u"usb"][u"rules"], config_rules);
  } catch (const CJsonMissingMember&) {
    // The monitor's document has no rules: the list stays empty.
  }
}

}  // namespace

void read_config() { read_config(ask_monitor_for_config); }

void read_config(MonitorAsk ask_monitor) {
  ODS_ENTER();
  std::lock_guard<std::recursive_mutex> lock(config_lock);

  const std::u16string answer = ask_monitor();
  CConfigFile file;
  CJsonNode monitor_document;
  CJsonNode* document = &file.document();
  if (!answer.empty()) {
    monitor_document.parse(answer);
    monitor_document.set_strict(true);
    document = &monitor_document;
  } else {
    file.load(u"cfg.json", u"");
  }

  read_settings(*document);
  load_rule_file(u"bin\\u_io.bin", io_rules);
  load_rule_file(u"bin\\u_pr.bin", printer_rules);
  load_rule_file(u"bin\\u_net.bin", network_rules);
  load_initial_rules();
  load_config_rules(*document);

  ODS(u"active     : %i", active);
  ODS(u"action     : %i", action);
  ODS(u"rules      : %i", static_cast<int>(config_rules.size()));
  ODS(u"allow_io   : %i", allow_io);
  ODS(u"allow_pr   : %i", allow_printers);
  ODS(u"allow_net  : %i", allow_network);
  ODS(u"initial    : %i", allow_initial);
  ODS(u"rules (pr) : %i", static_cast<int>(printer_rules.size()));
  ODS(u"rules (io) : %i", static_cast<int>(io_rules.size()));
  ODS(u"rules (net): %i", static_cast<int>(network_rules.size()));
  ODS_LEAVE();
}
