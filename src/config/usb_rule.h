// One rule of the guard: five text patterns (product, manufacturer, serial number, class,
// description) and a verdict. The description of a device is the same record with its texts.
// Rule lists are stored as JSON arrays of pairs: an object with the five texts, then the verdict.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class CJsonNode;

struct CUsbRule {
  std::u16string produkt;
  std::u16string producent;
  std::u16string numer;
  std::u16string klasa;
  std::u16string opis;
  int action = 1;  // 0 block, 1 allow; any other value never decides
};

// A setting or a verdict read from a document: an integer as it stands, a string by _wtoi
// ("12ab" gives 12, "ab" gives 0), any other kind 0 (`true` included).
int integer_value(CJsonNode& node);

// A member read as text: a string as it stands, an integer in its "%i" form, a missing member (or
// one of another kind) empty. Creates nothing.
std::u16string member_text(CJsonNode& node, std::u16string_view name);

// The rule held by one element of a rule array. The element must have exactly two children, the
// first (in key order) an object with the texts and the second the verdict; anything else is no
// rule, and false comes back.
bool rule_from_pair(CJsonNode& element, CUsbRule& rule);

// Appends the rule of every well-shaped element of `rules`, in key order; other elements are
// skipped silently.
void append_rules(CJsonNode& rules, std::vector<CUsbRule>& list);
