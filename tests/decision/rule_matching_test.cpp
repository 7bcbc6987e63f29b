// Matching a device against rules and deciding it by the rule lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decision/rule_lists.h"
#include "decision/rule_matching.h"
#include "text/utf.h"

using decision_test::rule;

namespace {

struct FieldCase {
  const char16_t* value;
  const char16_t* pattern;
  bool matches;
};

const FieldCase kFieldCases[] = {
    {u"KINGSTON", u"=Kingston", true},
    {u"Kingston Technology", u"=Kingston", false},
    {u"Kingston Technology", u"kingston", true},
    {u"KINGSTON", u"kingston", true},
    {u"USB Composite Device", u"composite", true},
    {u"abc", u"abcd", false},
    {u"anything", u"", true},
    {u"", u"", true},
    {u"", u"=", true},
    {u"x", u"=", false},
    {u"", u"x", false},
    {u"=x", u"==x", true},
    {u"x", u"==x", false},
    {u"x=", u"=", false},
    {u"ŁADNY", u"=ładny", false},  // A-Z only: Polish capitals keep their case
    {u"ŁADNY", u"ładny", false},
    {u"ładny", u"=ŁADNY", false},
    {u"Ładny", u"=ŁADNY", true},
    {u"ładny dysk", u"DYSK", true},
};

const CUsbRule kDevice = rule(u"DataTraveler 3.0", u"Kingston", u"60A44C41", u"USB", u"USB Mass Storage Device", 0);

struct RuleCase {
  const char* name;
  CUsbRule rule;
  bool serial_only;
  CUsbRule device;
  int result;
};

const RuleCase kRuleCases[] = {
    {"all empty patterns match every device", rule(u"", u"", u"", u"", u"", 0), false, kDevice, 0},
    {"all five match", rule(u"=DataTraveler 3.0", u"=kingston", u"=60a44c41", u"usb", u"storage", 1), false, kDevice, 1},
    {"one field differs", rule(u"DataTraveler", u"Kingston", u"", u"=HIDClass", u"", 1), false, kDevice, 2},
    {"a matching rule with action 2 says no match", rule(u"", u"Kingston", u"", u"", u"", 2), false, kDevice, 2},
    {"any other action is passed on", rule(u"", u"Kingston", u"", u"", u"", 7), false, kDevice, 7},
    {"serial only: serial matches, the rest does not count", rule(u"x", u"y", u"=60A44C41", u"z", u"w", 1), true, kDevice, 1},
    {"serial only: part of the serial", rule(u"", u"", u"44c4", u"", u"", 0), true, kDevice, 0},
    {"serial only: serial differs", rule(u"", u"", u"=60A44C42", u"", u"", 1), true, kDevice, 2},
    {"serial only: rule without serial", rule(u"", u"", u"", u"", u"", 1), true, kDevice, 2},
    {"serial only: rule serial \"=\"", rule(u"", u"", u"=", u"", u"", 1), true, rule(u"", u"", u"", u"", u"", 0), 2},
    {"serial only: device without serial", rule(u"", u"", u"x", u"", u"", 1), true, rule(u"", u"", u"", u"", u"", 0), 2},
    {"full match: \"=\" matches an empty serial", rule(u"", u"", u"=", u"", u"", 1), false, rule(u"", u"", u"", u"", u"", 0), 1},
};

class EvaluateRules : public ::testing::Test {
 protected:
  void SetUp() override { decision_test::reset_settings(); }
  void TearDown() override { decision_test::reset_settings(); }
};

}  // namespace

TEST(MatchField, Table) {
  for (const FieldCase& c : kFieldCases) {
    EXPECT_EQ(c.matches, match_field(c.value, c.pattern))
        << text::to_utf8(c.value) << " against " << text::to_utf8(c.pattern);
  }
}

TEST(MatchRule, Table) {
  for (const RuleCase& c : kRuleCases) {
    EXPECT_EQ(c.result, match_rule(c.rule, c.device, c.serial_only)) << c.name;
  }
}

TEST_F(EvaluateRules, EmptyBlockingRuleInTheIoListDecidesBeforeTheConfiguration) {
  io_rules = {rule(u"", u"", u"", u"", u"", 0)};
  config_rules = {rule(u"", u"Kingston", u"", u"", u"", 1)};
  const RuleDecision decision = decide_by_rules(kDevice, false);
  EXPECT_EQ(0, decision.verdict);
  EXPECT_EQ(u"io_rules", decision.list);
  EXPECT_EQ(1u, decision.position);
}

struct ListCase {
  const char* name;
  int allow_io, allow_printers, allow_network, allow_initial;
  std::vector<CUsbRule> io, printers, network, config, initial;
  int verdict;
  std::u16string list;
  std::size_t position;
};

TEST_F(EvaluateRules, OrderOfListsSettingsAndVerdicts) {
  const CUsbRule allow_kingston = rule(u"", u"=Kingston", u"", u"", u"", 1);
  const CUsbRule block_kingston = rule(u"", u"=Kingston", u"", u"", u"", 0);
  const CUsbRule other = rule(u"", u"=Acme", u"", u"", u"", 0);
  const CUsbRule undeciding = rule(u"", u"", u"", u"", u"", 2);
  const ListCase cases[] = {
      {"no rules", 1, 1, 1, 1, {}, {}, {}, {}, {}, kUndecided, u"", 0},
      {"io list switched off", 0, 1, 1, 1, {block_kingston}, {}, {}, {allow_kingston}, {}, 1, u"config_rules", 1},
      {"printers before network", 1, 1, 1, 1, {}, {block_kingston}, {allow_kingston}, {}, {}, 0, u"printer_rules", 1},
      {"printers off, network decides", 1, 0, 1, 1, {}, {block_kingston}, {allow_kingston}, {}, {}, 1, u"network_rules", 1},
      {"network off", 1, 1, 0, 1, {}, {}, {block_kingston}, {}, {}, kUndecided, u"", 0},
      {"rules that do not decide are passed", 1, 1, 1, 1, {other, undeciding}, {}, {}, {undeciding, other, allow_kingston},
       {}, 1, u"config_rules", 3},
      {"a block early beats an allow later", 1, 1, 1, 1, {}, {}, {}, {block_kingston, allow_kingston}, {}, 0,
       u"config_rules", 1},
      {"built-in lists before the configuration", 1, 1, 1, 1, {}, {}, {allow_kingston}, {block_kingston}, {}, 1,
       u"network_rules", 1},
      {"configuration before initial rules", 1, 1, 1, 1, {}, {}, {}, {block_kingston}, {allow_kingston}, 0,
       u"config_rules", 1},
      {"initial rules decide last", 1, 1, 1, 1, {}, {}, {}, {other}, {allow_kingston}, 1, u"initial_rules", 1},
      {"initial rules off", 1, 1, 1, 0, {}, {}, {}, {other}, {allow_kingston}, kUndecided, u"", 0},
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE(c.name);
    allow_io = c.allow_io;
    allow_printers = c.allow_printers;
    allow_network = c.allow_network;
    allow_initial = c.allow_initial;
    io_rules = c.io;
    printer_rules = c.printers;
    network_rules = c.network;
    config_rules = c.config;
    initial_rules = c.initial;
    const RuleDecision decision = decide_by_rules(kDevice, false);
    EXPECT_EQ(c.verdict, decision.verdict);
    EXPECT_EQ(c.list, decision.list);
    EXPECT_EQ(c.position, decision.position);
    EXPECT_EQ(c.verdict, evaluate_rules(kDevice, false));
  }
}

TEST_F(EvaluateRules, SerialOnlyIgnoresRulesWithoutSerial) {
  // Initial rules of a device list: every text exact, an empty serial written as "=".
  initial_rules = {rule(u"=Mouse", u"=Acme", u"=", u"=HIDClass", u"=Mouse", 1),
                   rule(u"=DataTraveler 3.0", u"=Kingston", u"=60A44C41", u"=USB", u"=USB Mass Storage Device", 1)};
  EXPECT_EQ(1, evaluate_rules(kDevice, true));
  EXPECT_EQ(kUndecided, evaluate_rules(rule(u"Mouse", u"Acme", u"", u"HIDClass", u"Mouse", 0), true));
  EXPECT_EQ(1, evaluate_rules(rule(u"Mouse", u"Acme", u"", u"HIDClass", u"Mouse", 0), false));
}
