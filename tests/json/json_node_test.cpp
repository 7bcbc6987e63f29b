// Building, reading and writing documents by code: setters, accessors and strict lookups.
#include <gtest/gtest.h>

#include <string>

#include "json/json_node.h"
#include "json_test_util.h"
#include "text/format.h"

using json_test::lines;

TEST(JsonNode, ANewNodeIsAnEmptyNonStrictObject) {
  CJsonNode node;
  EXPECT_EQ(CJsonNode::kObject, node.type());
  EXPECT_TRUE(node.name().empty());
  EXPECT_FALSE(node.strict());
  EXPECT_FALSE(node.wide_numbers());
  EXPECT_EQ(lines({u"{", u"}"}), node.serialise());
}

TEST(JsonNode, TheWriterLaysOutADocumentInSevenLines) {
  CJsonNode doc;
  doc.set_integer(u"a", 1);
  CJsonNode b;
  b.append_boolean(true);
  b.append_string(u"x");
  doc.add_node(u"b", std::move(b));
  EXPECT_EQ(u"{\r\n    \"a\" : 1, \r\n    \"b\" : [\r\n        true, \r\n        \"x\"\r\n    ]\r\n}", doc.serialise(0));
}

TEST(JsonNode, IndentPadsEveryLineOfTheNode) {
  CJsonNode doc;
  doc.set_integer(u"a", 1);
  EXPECT_EQ(lines({u"  {", uR"(      "a" : 1)", u"  }"}), doc.serialise(2));
}

TEST(JsonNode, OnlyQuoteBackslashAndLineBreaksAreEscaped) {
  CJsonNode doc;
  doc.set_string(u"s", u"a\"b\\c\nd\re\tf/g\u0001h\u00F3");
  EXPECT_EQ(lines({u"{", u"    \"s\" : \"a\\\"b\\\\c\\nd\\re\\tf/g\u0001h\u00F3\"", u"}"}), doc.serialise());
}

TEST(JsonNode, ASetterWritesOnlyTheTypeAndItsOwnValueField) {
  CJsonNode doc;
  doc.set_string(u"v", u"text");
  doc.set_integer(u"v", 5);
  doc.set_boolean(u"v", true);
  CJsonNode& v = doc[u"v"];
  EXPECT_EQ(CJsonNode::kBoolean, v.type());
  EXPECT_TRUE(v.flag());
  EXPECT_EQ(5, v.number());
  // A boolean read as text is the text field it kept from before.
  EXPECT_EQ(u"text", v.as_string());

  doc.set_boolean(u"t", true);
  EXPECT_EQ(0, doc[u"t"].number()) << "true is not the number 1";
}

TEST(JsonNode, SettingAnExistingMemberOverwritesItInPlace) {
  CJsonNode doc;
  CJsonNode& a = doc[u"a"];
  a.set_integer(u"x", 1);
  doc.set_integer(u"a", 2);
  EXPECT_EQ(&a, &doc[u"a"]);
  EXPECT_EQ(1u, a.children().size()) << "the member keeps its children";
  EXPECT_EQ(lines({u"{", uR"(    "a" : 2)", u"}"}), doc.serialise()) << "a number writes no children";
}

TEST(JsonNode, ReadingAnIntegerAsTextTurnsItIntoAString) {
  CJsonNode doc;
  doc.set_integer(u"n", -12);
  EXPECT_EQ(u"-12", doc[u"n"].as_string());
  EXPECT_EQ(CJsonNode::kString, doc[u"n"].type());
  EXPECT_EQ(-12, doc[u"n"].number());
  EXPECT_EQ(lines({u"{", uR"(    "n" : "-12")", u"}"}), doc.serialise());
}

TEST(JsonNode, AssigningThroughTheTextAccessorSetsAString) {
  CJsonNode doc;
  doc[u"x"].as_string() = u"v";
  doc.set_integer(u"y", 3);
  doc[u"y"].as_string() = u"w";
  EXPECT_EQ(lines({u"{", uR"(    "x" : "v", )", uR"(    "y" : "w")", u"}"}), doc.serialise());
}

TEST(JsonNode, ALookupOfAMissingMemberAddsAnEmptyObjectMember) {
  CJsonNode doc;
  doc.set_integer(u"a", 1);
  CJsonNode& missing = doc[u"zz"];
  EXPECT_EQ(CJsonNode::kObject, missing.type());
  EXPECT_EQ(0, missing.number());
  EXPECT_EQ(u"zz", missing.name());
  EXPECT_EQ(lines({u"{", uR"(    "a" : 1, )", uR"(    "zz" : {)", u"    }", u"}"}), doc.serialise());
  // Read as text it is the empty string, and is written as one.
  EXPECT_EQ(u"", missing.as_string());
  EXPECT_EQ(lines({u"{", uR"(    "a" : 1, )", uR"(    "zz" : "")", u"}"}), doc.serialise());
}

TEST(JsonNode, HasMemberCreatesNothingAndCopiesNoFlag) {
  CJsonNode doc;
  doc.parse(uR"({"a":1})");
  doc.set_strict(true);
  EXPECT_TRUE(doc.has_member(u"a"));
  EXPECT_FALSE(doc.has_member(u"b"));
  EXPECT_EQ(1u, doc.children().size());
  EXPECT_FALSE(doc.children().at(u"a").strict());
}

TEST(JsonNode, AStrictLookupOfAMissingMemberThrowsAndCreatesNothing) {
  CJsonNode doc;
  doc.set_strict(true);
  EXPECT_THROW(doc[u"usb"], CJsonMissingMember);
  EXPECT_TRUE(doc.children().empty());
}

TEST(JsonNode, StrictnessSpreadsDownEveryPathThatIsLookedUp) {
  CJsonNode doc;
  doc.parse(uR"({"usb":{"active":1,"rules":[]}})");
  doc.set_strict(true);
  CJsonNode& usb = doc[u"usb"];
  EXPECT_TRUE(usb.strict());
  EXPECT_EQ(1, usb[u"active"].number());
  EXPECT_TRUE(usb[u"active"].strict());
  EXPECT_THROW(usb[u"action"], CJsonMissingMember);
  EXPECT_FALSE(usb.has_member(u"action"));
  // The flag is copied, not only set: a lookup from a non-strict node clears it again.
  doc.set_strict(false);
  EXPECT_FALSE(doc[u"usb"].strict());
  EXPECT_NO_THROW(doc[u"usb"][u"action"]);
  EXPECT_TRUE(usb.has_member(u"action"));
}

TEST(JsonNode, SettersOnAStrictNodeCreateMembersThatAreNotStrict) {
  CJsonNode doc;
  doc.set_strict(true);
  doc.set_integer(u"n", 1);
  ASSERT_TRUE(doc.has_member(u"n"));
  EXPECT_FALSE(doc.children().at(u"n").strict());
}

TEST(JsonNode, AppendingTurnsAnObjectIntoAnArrayAndKeepsItsMembers) {
  CJsonNode doc;
  doc.set_integer(u"a", 1);
  doc.append_string(u"x");
  EXPECT_EQ(CJsonNode::kArray, doc.type());
  EXPECT_EQ(lines({u"[", uR"(    "x", )", uR"(    "a" : 1)", u"]"}), doc.serialise());
}

TEST(JsonNode, SettersOnAnArrayAppendUnderTheNextIndexKey) {
  CJsonNode doc;
  doc.append_integer(1);
  doc.set_string(u"name", u"v");
  doc.set_boolean(u"name", false);
  ASSERT_EQ(3u, doc.children().size());
  for (const auto& [key, child] : doc.children()) EXPECT_TRUE(child.name().empty()) << "element names stay empty";
  EXPECT_EQ(lines({u"[", u"    1, ", uR"(    "v", )", u"    false", u"]"}), doc.serialise());
}

TEST(JsonNode, AddNodeReplacesAMemberOfTheSameName) {
  CJsonNode doc;
  CJsonNode first;
  first.set_integer(u"x", 1);
  doc.add_node(u"a", std::move(first));
  CJsonNode second;
  second.set_integer(u"y", 2);
  CJsonNode& added = doc.add_node(u"a", std::move(second));
  EXPECT_EQ(u"a", added.name());
  EXPECT_EQ(&added, &doc[u"a"]);
  EXPECT_EQ(lines({u"{", uR"(    "a" : {)", uR"(        "y" : 2)", u"    }", u"}"}), doc.serialise());
}

TEST(JsonNode, AddNodeOnAnArrayAppendsWithoutAName) {
  CJsonNode doc;
  doc.append_integer(0);
  CJsonNode& added = doc.add_node(u"n", CJsonNode());
  EXPECT_TRUE(added.name().empty());
  EXPECT_EQ(lines({u"[", u"    0, ", u"    {", u"    }", u"]"}), doc.serialise());
}

TEST(JsonNode, ClearDestroysTheChildrenAndKeepsTypeAndValues) {
  CJsonNode doc;
  doc.append_integer(3);
  doc.clear();
  EXPECT_TRUE(doc.children().empty());
  EXPECT_EQ(CJsonNode::kArray, doc.type());
  EXPECT_EQ(lines({u"[", u"]"}), doc.serialise());
}

TEST(JsonNode, ElementKeysAreTheIndexInEightLowerCaseHexadecimalDigits) {
  CJsonNode doc;
  for (int i = 0; i < 300; ++i) doc.append_integer(i);
  int expected = 0;
  for (const auto& [key, child] : doc.children()) {
    EXPECT_EQ(text::format(u"%.8x", expected), key);
    EXPECT_EQ(expected, child.number()) << "map order is insertion order";
    ++expected;
  }
  EXPECT_EQ(300, expected);
}

TEST(JsonNode, KeysAreOrderedByCodeUnit) {
  CJsonNode doc;
  for (const char16_t* name : {u"b", u"B", u"\u00e9", u"a", u"Z", u"_", u"1", u"\uFFFF", u"\U0001F600"}) doc.set_integer(name, 0);
  std::u16string order;
  for (const auto& [key, child] : doc.children()) order += key;
  // U+1F600 is the pair D83D DE00, which sorts before U+FFFF.
  EXPECT_EQ(u"1BZ_ab\u00e9\U0001F600\uFFFF", order);
}

TEST(JsonNode, ADocumentWrittenByTheProcessReadsBackTheSame) {
  CJsonNode doc;
  CJsonNode& rules = doc[u"rules"];
  for (int i = 0; i < 3; ++i) {
    CJsonNode rule;
    rule.set_string(u"producent", u"=Kingston \"DT\" \\ " + text::format(u"%i", i));
    rule.set_string(u"opis", u"line\r\nnext\ttab");
    rule.set_string(u"numer", u"");
    CJsonNode pair;
    pair.append_node(std::move(rule));
    pair.append_integer(i % 2);
    rules.append_node(std::move(pair));
  }
  doc.set_boolean(u"on", true);
  doc.set_integer(u"min", -2147483647 - 1);
  const std::u16string written = doc.serialise();
  CJsonNode copy;
  ASSERT_EQ(1, copy.parse(written));
  EXPECT_EQ(written, copy.serialise());
}
