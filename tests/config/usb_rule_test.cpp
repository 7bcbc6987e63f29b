#include "config/usb_rule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "json/json_node.h"
#include "text/utf.h"

namespace {

std::string show(const CUsbRule& r) {
  return std::to_string(r.action) + " " + text::to_utf8(r.produkt + u"|" + r.producent + u"|" + r.numer + u"|" + r.klasa + u"|" + r.opis);
}

// The rules that a rule file with `rules` as its member "rules" yields.
std::vector<std::string> rules_of(const std::string& rules) {
  CJsonNode document;
  document.parse(text::from_utf8("{\"rules\":" + rules + "}"));
  std::vector<CUsbRule> list;
  append_rules(document[u"rules"], list);
  std::vector<std::string> shown;
  for (const auto& r : list) shown.push_back(show(r));
  return shown;
}

using Rules = std::vector<std::string>;

}  // namespace

TEST(UsbRule, DefaultsAreEmptyPatternsAndAllow) {
  const CUsbRule rule;
  EXPECT_EQ("1 ||||", show(rule));
}

TEST(UsbRule, RuleArraysOfEveryShape) {
  const struct {
    const char* what;
    const char* rules;
    Rules expected;
  } cases[] = {
      {"full pair", R"([[{"produkt":"=P","producent":"M","numer":"S","klasa":"K","opis":"O"},0]])", {"0 =P|M|S|K|O"}},
      {"missing texts are empty, extra members ignored", R"([[{"klasa":"=DiskDrive","etykieta":"x","dyski":"E"},1]])",
       {"1 |||=DiskDrive|"}},
      {"integer text in its %i form", R"([[{"numer":-42,"opis":7},1]])", {"1 ||-42||7"}},
      {"boolean, null, object and array texts read empty", R"([[{"produkt":true,"producent":null,"numer":{},"klasa":[1]},1]])",
       {"1 |0|||"}},
      {"escaped text", R"([[{"opis":"a\"b\\c"},1]])", {"1 ||||a\"b\\c"}},
      {"empty object matches everything", R"([[{},0]])", {"0 ||||"}},
      {"verdict as string", R"([[{},"0"],[{},"1"],[{},"12ab"],[{},"ab"],[{}," 2"]])", {"0 ||||", "1 ||||", "12 ||||", "0 ||||", "2 ||||"}},
      {"verdict of other kinds is 0", R"([[{},true],[{},false],[{},null],[{},{}],[{},[1]]])",
       {"0 ||||", "0 ||||", "0 ||||", "0 ||||", "0 ||||"}},
      {"negative and large verdicts kept", R"([[{},-1],[{},2]])", {"-1 ||||", "2 ||||"}},
      {"three children skipped", R"([[{},1,2],[{"klasa":"k"},1]])", {"1 |||k|"}},
      {"one child skipped", R"([[{}],[[{}]]])", {}},
      {"plain string, number and empty elements skipped", R"(["abc",5,[],{},[{"klasa":"k"},0]])", {"0 |||k|"}},
      {"first child not an object skipped", R"([["=Kingston",0],[5,1],[[],0],[[1,2],1]])", {}},
      {"object with two members read as a pair, in key order", R"([{"z":1,"a":{"klasa":"k"}}])", {"1 |||k|"}},
      {"object with two members, first not an object", R"([{"a":1,"b":{"klasa":"k"}}])", {}},
      {"order of the file kept", R"([[{"opis":"1"},1],[{"opis":"2"},0],[{"opis":"3"},1]])", {"1 ||||1", "0 ||||2", "1 ||||3"}},
      {"rules as an object of pairs, in key order", R"({"b":[{"opis":"b"},0],"a":[{"opis":"a"},1]})", {"1 ||||a", "0 ||||b"}},
      {"rules as a string", R"("text")", {}},
      {"rules as a number", "17", {}},
      {"reading stops at a fraction: what came before stays", R"([[{"opis":"a"},1],[{"opis":"b"},1.5],[{"opis":"c"},1]])", {"1 ||||a", "1 ||||b"}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, rules_of(c.rules)) << c.what;
}

TEST(UsbRule, MissingRulesMemberGivesNoRules) {
  CJsonNode document;
  document.parse(u"{\"other\":[[{},1]]}");
  std::vector<CUsbRule> list;
  append_rules(document[u"rules"], list);
  EXPECT_TRUE(list.empty());
}

TEST(UsbRule, AppendKeepsWhatTheListHeld) {
  CJsonNode document;
  document.parse(u"{\"rules\":[[{\"opis\":\"new\"},0]]}");
  std::vector<CUsbRule> list(1);
  append_rules(document[u"rules"], list);
  ASSERT_EQ(2u, list.size());
  EXPECT_EQ("1 ||||", show(list[0]));
  EXPECT_EQ("0 ||||new", show(list[1]));
}

TEST(UsbRule, IntegerValueOfEveryKind) {
  const struct {
    const char* json;
    int expected;
  } cases[] = {
      {"1", 1}, {"0", 0}, {"-5", -5}, {"2147483647", 2147483647}, {"\"1\"", 1}, {"\"12ab\"", 12}, {"\"ab\"", 0},
      {"\" 7\"", 7}, {"\"\"", 0}, {"true", 0}, {"false", 0}, {"null", 0}, {"{}", 0}, {"[1]", 0}, {"{\"a\":1}", 0},
  };
  for (const auto& c : cases) {
    CJsonNode document;
    document.parse(text::from_utf8(std::string("{\"v\":") + c.json + "}"));
    EXPECT_EQ(c.expected, integer_value(document[u"v"])) << c.json;
  }
}

TEST(UsbRule, StrictnessOfTheDocumentDoesNotReachThePairs) {
  // Rules of the monitor's (strict) document: members missing from a pair still read as empty.
  CJsonNode document;
  document.parse(u"{\"usb\":{\"rules\":[[{\"klasa\":\"k\"},0]]}}");
  document.set_strict(true);
  std::vector<CUsbRule> list;
  append_rules(document[u"usb"][u"rules"], list);
  ASSERT_EQ(1u, list.size());
  EXPECT_EQ("0 |||k|", show(list[0]));
}
