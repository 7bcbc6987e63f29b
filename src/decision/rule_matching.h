// Deciding a device by the rule lists: the first rule that matches and carries a verdict wins.
// The caller holds config_lock (or runs alone, as the rule-file test and the tool do), so the
// lists do not change during an evaluation.
#pragma once

#include <cstddef>
#include <string_view>

#include "config/usb_rule.h"

inline constexpr int kBlock = 0;
inline constexpr int kAllow = 1;
inline constexpr int kNoMatch = 2;        // match_rule: the rule does not match
inline constexpr int kUndecided = 65535;  // evaluate_rules: no rule decided

// A pattern that begins with "=" asks for the whole value; otherwise it may occur anywhere in the
// value, and an empty one matches everything. Letters A-Z match without case, nothing else does.
bool match_field(std::u16string_view value, std::u16string_view pattern);

// The rule's action when all five patterns match the description (product, manufacturer, serial
// number, class, description, in that order), else kNoMatch. With `serial_only`, only the serial
// numbers count, and an empty one on either side (or the rule's "=") never matches.
int match_rule(const CUsbRule& rule, const CUsbRule& description, bool serial_only);

// Which rule decided: the list's name and the rule's 1-based position in it; an empty name when
// no rule decided.
struct RuleDecision {
  int verdict = kUndecided;  // kBlock, kAllow or kUndecided
  std::u16string_view list;  // "io_rules", "printer_rules", "network_rules", "config_rules", "initial_rules"
  std::size_t position = 0;
};

// Tries io_rules, printer_rules and network_rules (each while its setting is on), config_rules,
// and initial_rules (while allow_initial is on), in that order. A rule decides when it matches
// and its action is 0 or 1.
RuleDecision decide_by_rules(const CUsbRule& description, bool serial_only);

// kBlock, kAllow or kUndecided.
int evaluate_rules(const CUsbRule& description, bool serial_only);
