#include "config/usb_rule.h"

#include <iterator>

#include "json/json_node.h"
#include "text/number.h"

int integer_value(CJsonNode& node) {
  switch (node.type()) {
    case CJsonNode::kInteger:
      return node.number();
    case CJsonNode::kString:
      return text::wtoi(node.as_string());
    default:
      return 0;
  }
}

std::u16string member_text(CJsonNode& node, std::u16string_view name) {
  if (!node.has_member(name)) return {};
  CJsonNode& member = node[name];
  if (member.type() != CJsonNode::kString && member.type() != CJsonNode::kInteger) return {};
  return member.as_string();
}

bool rule_from_pair(CJsonNode& element, CUsbRule& rule) {
  if (element.children().size() != 2) return false;
  auto first = element.children().begin();
  CJsonNode& texts = first->second;
  CJsonNode& verdict = std::next(first)->second;
  // A pair whose first half is not an object holds no patterns. Read as five empty patterns it
  // would match every device, so one mistyped rule would decide them all.
  if (texts.type() != CJsonNode::kObject) return false;
  rule = CUsbRule{};
  rule.produkt = member_text(texts, u"produkt");
  rule.producent = member_text(texts, u"producent");
  rule.numer = member_text(texts, u"numer");
  rule.klasa = member_text(texts, u"klasa");
  rule.opis = member_text(texts, u"opis");
  rule.action = integer_value(verdict);
  return true;
}

void append_rules(CJsonNode& rules, std::vector<CUsbRule>& list) {
  for (auto& entry : rules.children()) {
    CUsbRule rule;
    if (rule_from_pair(entry.second, rule)) list.push_back(std::move(rule));
  }
}
