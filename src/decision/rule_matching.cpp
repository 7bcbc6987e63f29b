#include "decision/rule_matching.h"

#include <algorithm>
#include <vector>

#include "config/settings.h"
#include "text/chars.h"

namespace {

bool same_az(char16_t a, char16_t b) { return text::lower_az(a) == text::lower_az(b); }

// The lists in evaluation order, each with the setting that lets it take part (none: always).
struct RuleList {
  std::u16string_view name;
  const int* enabled;
  const std::vector<CUsbRule>* rules;
};

const RuleList kLists[] = {
    {u"io_rules", &allow_io, &io_rules},
    {u"printer_rules", &allow_printers, &printer_rules},
    {u"network_rules", &allow_network, &network_rules},
    {u"config_rules", nullptr, &config_rules},
    {u"initial_rules", &allow_initial, &initial_rules},
};

}  // namespace

bool match_field(std::u16string_view value, std::u16string_view pattern) {
  if (!pattern.empty() && pattern.front() == u'=') {
    pattern.remove_prefix(1);
    return value.size() == pattern.size() && std::equal(value.begin(), value.end(), pattern.begin(), same_az);
  }
  if (pattern.empty()) return true;
  return std::search(value.begin(), value.end(), pattern.begin(), pattern.end(), same_az) != value.end();
}

int match_rule(const CUsbRule& rule, const CUsbRule& description, bool serial_only) {
  if (serial_only) {
    if (description.numer.empty() || rule.numer.empty() || rule.numer == u"=") return kNoMatch;
    return match_field(description.numer, rule.numer) ? rule.action : kNoMatch;
  }
  const bool all_match = match_field(description.produkt, rule.produkt) &&
                         match_field(description.producent, rule.producent) &&
                         match_field(description.numer, rule.numer) &&
                         match_field(description.klasa, rule.klasa) &&
                         match_field(description.opis, rule.opis);
  return all_match ? rule.action : kNoMatch;
}

RuleDecision decide_by_rules(const CUsbRule& description, bool serial_only) {
  for (const RuleList& list : kLists) {
    if (list.enabled && *list.enabled == 0) continue;
    for (std::size_t i = 0; i < list.rules->size(); ++i) {
      const int verdict = match_rule((*list.rules)[i], description, serial_only);
      if (verdict == kBlock || verdict == kAllow) return {verdict, list.name, i + 1};
    }
  }
  return {};
}

int evaluate_rules(const CUsbRule& description, bool serial_only) {
  return decide_by_rules(description, serial_only).verdict;
}
