// How texts read: each case is an input text and the document written back with indent 0.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "json/json_node.h"
#include "json_test_util.h"

using namespace std::string_literals;
using json_test::lines;
using json_test::reserialised;

namespace {

struct ReadCase {
  const char* what;
  std::u16string input;
  std::u16string expected;
  bool wide_numbers = false;
};

const std::u16string kEmpty = lines({u"{", u"}"});
const std::u16string kA1 = lines({u"{", uR"(    "a" : 1)", u"}"});

const std::vector<ReadCase>& read_cases() {
  static const std::vector<ReadCase> cases = {
      // Members and values
      {"members are written in key order, not input order", uR"({"b":1,"a":2})",
       lines({u"{", uR"(    "a" : 2, )", uR"(    "b" : 1)", u"}"})},
      {"a repeated member keeps the last value", uR"({"a":1,"a":2})", lines({u"{", uR"(    "a" : 2)", u"}"})},
      {"a repeated member overwrites a string with a number", uR"({"a":"s","a":5})",
       lines({u"{", uR"(    "a" : 5)", u"}"})},
      {"an object member replaced by a number keeps its children unwritten", uR"({"a":{"x":1},"a":2})",
       lines({u"{", uR"(    "a" : 2)", u"}"})},
      {"a number member replaced by an object", uR"({"a":2,"a":{"x":1}})",
       lines({u"{", uR"(    "a" : {)", uR"(        "x" : 1)", u"    }", u"}"})},
      {"null is the integer 0", uR"({"a":null})", lines({u"{", uR"(    "a" : 0)", u"}"})},
      {"booleans", uR"({"t":true,"f":false})", lines({u"{", uR"(    "f" : false, )", uR"(    "t" : true)", u"}"})},
      {"nested containers", uR"({"a":[1,"b",{"c":true}],"e":{}})",
       lines({u"{", uR"(    "a" : [)", u"        1, ", uR"(        "b", )", u"        {", uR"(            "c" : true)",
              u"        }", u"    ], ", uR"(    "e" : {)", u"    }", u"}"})},
      {"the empty object", u"{}", kEmpty},
      {"the empty text", u"", kEmpty},
      {"commas and colons are optional", uR"({"a" 1 "b" : 2,,})", lines({u"{", uR"(    "a" : 1, )", uR"(    "b" : 2)", u"}"})},
      {"white space is tab, line feed, carriage return and blank", u"{\t\"a\"\r\n:  1\n}", kA1},

      // Numbers
      {"a fraction stops the reader at the full stop", uR"({"n":-7,"f":1.5,"g":3})",
       lines({u"{", uR"(    "f" : 1, )", uR"(    "n" : -7)", u"}"})},
      {"wide numbers read the fraction as part of the token", uR"({"n":-7,"f":1.5,"g":3})",
       lines({u"{", uR"(    "f" : 1, )", uR"(    "g" : 3, )", uR"(    "n" : -7)", u"}"}), true},
      {"wide numbers take an exponent form whole, and its integer part counts", uR"({"d":2.64228E+009,"e":1e-5,"z":7})",
       lines({u"{", uR"(    "d" : 2, )", uR"(    "e" : 1, )", uR"(    "z" : 7)", u"}"}), true},
      {"without wide numbers an exponent stops the reader", uR"({"d":2E+009,"z":7})",
       lines({u"{", uR"(    "d" : 2)", u"}"})},
      {"a plus sign cannot begin a number", uR"({"a":1,"b":+2})", kA1},
      {"a lone minus sign is 0", uR"({"a":-})", lines({u"{", uR"(    "a" : 0)", u"}"})},
      {"a minus sign ends a number", uR"({"a":5-3})", lines({u"[", u"    -3, ", uR"(    "a" : 5)", u"]"})},
      {"leading zeros", uR"({"a":007})", lines({u"{", uR"(    "a" : 7)", u"}"})},
      {"too large numbers saturate", uR"({"a":99999999999,"b":-99999999999})",
       lines({u"{", uR"(    "a" : 2147483647, )", uR"(    "b" : -2147483648)", u"}"})},

      // Words
      {"words match by prefix", uR"({"a":truex,"b":1})", lines({u"{", uR"(    "a" : true)", u"}"})},
      {"an incomplete word stops the reader", uR"({"a":1,"b":tru,"c":2})", kA1},
      {"words are case-sensitive", uR"({"a":1,"b":True})", kA1},

      // Strings
      {"escapes n, r and t; any other escaped character is itself", uR"({"s":"q\"b\\s\/n\ne\tf\rg\bh"})",
       lines({u"{", uR"(    "s" : "q\"b\\s/n\ne\tf\rgbh")", u"}"})},
      {"a backslash-u escape keeps the letter u and the digits", uR"({"s":"\u0041"})",
       lines({u"{", uR"(    "s" : "u0041")", u"}"})},
      {"member names are written unescaped", uR"({"a\"b":1})", lines({u"{", uR"(    "a"b" : 1)", u"}"})},
      {"a string directly followed by a closing brace is dropped", uR"({"a":1,"b"})", kA1},
      {"an unterminated string value runs to the end of the text", uR"({"a":"abc)",
       lines({u"{", uR"(    "a" : "abc")", u"}"})},
      {"an escaped quote at the end of the text counts as the closing one", uR"({"a":"abc\")",
       lines({u"{", uR"(    "a" : "abc")", u"}"})},
      {"an escaped quote before the closing one stays", uR"({"a":"abc\"")",
       lines({u"{", uR"(    "a" : "abc\"")", u"}"})},
      {"a backslash at the end of the text ends the string", uR"({"a":"x\)", lines({u"{", uR"(    "a" : "x")", u"}"})},
      {"an opening quote at the end of the text gives the empty string", uR"({"a":")",
       lines({u"{", uR"(    "a" : "")", u"}"})},
      {"a lone surrogate is kept", u"{\"s\":\"a\xD800" u"b\"}", u"{\r\n    \"s\" : \"a\xD800" u"b\"\r\n}"},

      // Arrays and names
      {"an array of the string x and the empty string", uR"({"a":["x",""]})",
       lines({u"{", uR"(    "a" : [)", uR"(        "x", )", uR"(        "")", u"    ]", u"}"})},
      {"an array of two empty strings", uR"({"a":["",""]})",
       lines({u"{", uR"(    "a" : [)", uR"(        "", )", uR"(        "")", u"    ]", u"}"})},
      {"a comma ends an empty pending string", uR"({"a":["",1]})",
       lines({u"{", uR"(    "a" : [)", uR"(        "", )", u"        1", u"    ]", u"}"})},
      {"an empty member name makes its value an element", uR"({"":1})", lines({u"[", u"    1", u"]"})},
      {"a value after an empty name leaves the empty string pending until a comma", uR"({"a":["":1]})",
       lines({u"{", uR"(    "a" : [)", u"        1, ", uR"(        "")", u"    ]", u"}"})},
      {"a name inside an array is ignored", uR"({"a":["n":1,"m":{}]})",
       lines({u"{", uR"(    "a" : [)", u"        1, ", u"        {", u"        }", u"    ]", u"}"})},
      {"a string followed by a string is a member", uR"({"a" "b"})", lines({u"{", uR"(    "a" : "b")", u"}"})},
      {"an element turns an object into an array; index keys sort before letters", uR"({"a":1,2})",
       lines({u"[", u"    2, ", uR"(    "a" : 1)", u"]"})},
      {"an element whose index key equals a member name overwrites it", uR"({"00000001":5,7})",
       lines({u"[", uR"(    "00000001" : 7)", u"]"})},
      {"elements keep their order past sixteen",
       uR"({"a":[0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16]})",
       lines({u"{", uR"(    "a" : [)", u"        0, ", u"        1, ", u"        2, ", u"        3, ", u"        4, ",
              u"        5, ", u"        6, ", u"        7, ", u"        8, ", u"        9, ", u"        10, ", u"        11, ",
              u"        12, ", u"        13, ", u"        14, ", u"        15, ", u"        16", u"    ]", u"}"})},
      {"a closing brace ends an array", uR"({"a":[1},"b":2})",
       lines({u"{", uR"(    "a" : [)", u"        1", u"    ], ", uR"(    "b" : 2)", u"}"})},

      // Wrapping
      {"a bare member list is wrapped in braces", uR"("a":1)", kA1},
      {"an array text is wrapped: the root array holds it", u"[1,2]",
       lines({u"[", u"    [", u"        1, ", u"        2", u"    ]", u"]"})},
      {"a blank before an object wraps it: the root array holds it", uR"( {"a":1})",
       lines({u"[", u"    {", uR"(        "a" : 1)", u"    }", u"]"})},
      {"a bare number is an element of the root", u"42", lines({u"[", u"    42", u"]"})},

      // Where the reader stops
      {"an unusable character stops the reader and keeps what was read", uR"({"a":1,x,"b":2})", kA1},
      {"a form feed is not white space", u"{\"a\":1,\f\"b\":2}", kA1},
      {"a no-break space is not white space", u"{\"a\":1,\u00A0\"b\":2}", kA1},
      {"a stop inside a nested container keeps the partial container", uR"({"a":{"x":1,?},"b":2})",
       lines({u"{", uR"(    "a" : {)", uR"(        "x" : 1)", u"    }", u"}"})},
      {"a NUL ends the text", u"{\"a\":1,\0\"b\":2}"s, kA1},
      {"a NUL first gives the empty object", u"\0{\"a\":1}"s, kEmpty},

      // Hexadecimal form
      {"*hex* followed by an object text", u"*hex*007b00220061002200" u"3a0031007d", kA1},
      {"*hex* digits may be upper case", u"*hex*007B00220061002200" u"3A0031007D", kA1},
      {"*hex* digits after the last full group are ignored", u"*hex*007b00220061002200" u"3a0031007d003", kA1},
      {"*hex* text that is not an object is wrapped", u"*hex*0031", lines({u"[", u"    1", u"]"})},
      {"*hex* decoding to a NUL ends the text", u"*hex*0000007b", kEmpty},
      {"*hex* group with a non-digit keeps the digits before it", u"*hex*007b00220061002200" u"3a0031007dzz41", kA1},
      {"*hex* followed by nothing", u"*hex*", kEmpty},
      {"*hex* is case-sensitive", u"*HEX*0031", kEmpty},
  };
  return cases;
}

}  // namespace

TEST(JsonRead, TextsAreReadAndWrittenBackInTheFixedLayout) {
  for (const ReadCase& c : read_cases()) {
    EXPECT_EQ(c.expected, reserialised(c.input, c.wide_numbers)) << c.what;
  }
}

TEST(JsonRead, ParseReturnsOneForEveryTextBecauseTextsAreWrapped) {
  for (const ReadCase& c : read_cases()) {
    CJsonNode doc;
    EXPECT_EQ(1, doc.parse(c.input)) << c.what;
  }
}

TEST(JsonRead, ParseReplacesWhatTheDocumentHeld) {
  CJsonNode doc;
  doc.parse(uR"({"old":1})");
  doc.parse(uR"({"new":2})");
  EXPECT_EQ(lines({u"{", uR"(    "new" : 2)", u"}"}), doc.serialise());
}

TEST(JsonRead, WideNumbersAreTheDocumentsFlagForEveryLevel) {
  CJsonNode doc;
  doc.set_wide_numbers(true);
  doc.parse(uR"({"DEVS":[{"BusTypeGuid":{"Data1":2.64228E+009,"Data2":17}}]})");
  CJsonNode& guid = doc[u"DEVS"][u"00000000"][u"BusTypeGuid"];
  EXPECT_EQ(2, guid[u"Data1"].number());
  EXPECT_EQ(17, guid[u"Data2"].number());
}

TEST(JsonRead, StrictnessDoesNotStopTheReader) {
  CJsonNode doc;
  doc.set_strict(true);
  doc.parse(uR"({"usb":{"active":1}})");
  EXPECT_EQ(1, doc[u"usb"][u"active"].number());
  EXPECT_THROW(doc[u"usb"][u"action"], CJsonMissingMember);
}
