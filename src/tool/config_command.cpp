// "config": loads the configuration exactly as the guard does (the monitor first, then the file,
// the built-in rule files, the initial rules) and shows the settings and every rule list.
#include <mutex>
#include <string>
#include <vector>

#include "config/read_config.h"
#include "config/settings.h"
#include "text/utf.h"
#include "tool/commands.h"
#include "tool/tool_io.h"

namespace tool {

namespace {

struct NamedList {
  const char* name;
  const std::vector<CUsbRule>* rules;
};

std::string rule_line(const char* list, std::size_t index, const CUsbRule& r) {
  return std::string(list) + " " + std::to_string(index) + " " + std::to_string(r.action) + " " +
         text::to_utf8_display(r.produkt + u"|" + r.producent + u"|" + r.numer + u"|" + r.klasa + u"|" + r.opis) + "\n";
}

}  // namespace

int cmd_config(const Args& args) {
  if (!args.empty()) return fail(2, "usage: config");
  read_config();

  std::lock_guard<std::recursive_mutex> lock(config_lock);
  std::string out;
  const std::pair<const char*, int> settings[] = {
      {"active", active},
      {"action", action},
      {"allow_io", allow_io},
      {"allow_printers", allow_printers},
      {"allow_network", allow_network},
      {"report_on_allow", report_on_allow},
      {"allow_initial", allow_initial},
  };
  for (const auto& [name, value] : settings) out += std::string(name) + ": " + std::to_string(value) + "\n";
  out += "rules: " + std::to_string(config_rules.size()) + "\n";
  out += "rules (io): " + std::to_string(io_rules.size()) + "\n";
  out += "rules (pr): " + std::to_string(printer_rules.size()) + "\n";
  out += "rules (net): " + std::to_string(network_rules.size()) + "\n";
  out += "rules (initial): " + std::to_string(initial_rules.size()) + "\n";
  const NamedList lists[] = {
      {"io_rules", &io_rules},         {"printer_rules", &printer_rules}, {"network_rules", &network_rules},
      {"config_rules", &config_rules}, {"initial_rules", &initial_rules},
  };
  for (const NamedList& list : lists) {
    for (std::size_t i = 0; i < list.rules->size(); ++i) out += rule_line(list.name, i + 1, (*list.rules)[i]);
  }
  write_stdout(out);
  return 0;
}

}  // namespace tool
