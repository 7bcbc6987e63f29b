// The parser's outcomes: what a text reads as (shown by writing it back), or the message with the
// line and column where it fails.
#include <gtest/gtest.h>

#include <string>

#include "library/json/json_parser.h"
#include "text/utf.h"

using namespace VostUsbWardenManager;

namespace {

struct ParseCase {
  std::u16string input;
  std::u16string expected;  // the text written back, or the failure message
  bool ok;
};

ParseCase Reads(std::u16string input, std::u16string written) { return {std::move(input), std::move(written), true}; }
ParseCase Fails(std::u16string input, std::u16string message) { return {std::move(input), std::move(message), false}; }

void ExpectCases(const std::vector<ParseCase>& cases) {
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(text::to_utf8_display(c.input));
    JsonHolder json;
    std::u16string status;
    const bool ok = ParseCodeUnits(c.input, json, status);
    EXPECT_EQ(c.ok, ok);
    EXPECT_EQ(c.expected, ok ? json.ToString() : status);
  }
}

}  // namespace

TEST(LibraryJsonParse, ContainersAndMemberOrder) {
  ExpectCases({
      Reads(u"{}", u"{}"),
      Reads(u"[]", u"[]"),
      Reads(u" \t\r\n{ } ", u"{}"),
      Reads(u"{\"b\":1,\"a\":2}", u"{\"a\":2,\"b\":1}"),
      Reads(u"{\"DeviceDescription\":1,\"DEVINST\":2,\"a\":3}", u"{\"DEVINST\":2,\"DeviceDescription\":1,\"a\":3}"),
      Reads(u"{\"z\" : {\"y\":[1, {\"x\":null}], \"a\":false}}", u"{\"z\":{\"a\":false,\"y\":[1,{\"x\":null}]}}"),
      Reads(u"[[],{},[[]],\"\"]", u"[[],{},[[]],\"\"]"),
      Reads(u"[true,false,null]", u"[true,false,null]"),
      Reads(u"{\"a\":true,\"b\":null,\"c\":false}", u"{\"a\":true,\"b\":null,\"c\":false}"),
      Reads(u"[1 , 2\t,\n3 ]", u"[1,2,3]"),
      // Only the last of several roots is kept.
      Reads(u"{\"a\":1} {\"b\":2}", u"{\"b\":2}"),
      Reads(u"[1][2]", u"[2]"),
  });
}

TEST(LibraryJsonParse, Numbers) {
  ExpectCases({
      Reads(u"[3,-0.25,65535,0.5]", u"[3,-0.25,65535,0.5]"),
      Reads(u"[1.5E3,1.5e3]", u"[1500,1500]"),
      Reads(u"[1234567]", u"[1.23457E+006]"),
      Reads(u"[0.00001]", u"[1E-005]"),
      Reads(u"[2642280000]", u"[2.64228E+009]"),
      Reads(u"[-0]", u"[-0]"),
      // "%lf" reads the longest number at the start of the buffer and ignores the rest.
      Reads(u"[1.2.3]", u"[1.2]"),
      Reads(u"[1-2]", u"[1]"),
      Reads(u"[01]", u"[1]"),
      Reads(u"[1E]", u"[1]"),
      // Out of the double's range: infinity has no JSON form and is written as null.
      Reads(u"[1e400,-1e400]", u"[null,null]"),
      Reads(u"[1e-400]", u"[0]"),
      Fails(u"[-]", u"Linia=1 Kolumna=4 Niepoprawny format liczby"),
      Fails(u"[-e5]", u"Linia=1 Kolumna=6 Niepoprawny format liczby"),
      Fails(u"{\"a\":.5}", u"Linia=1 Kolumna=7 Nieprawidłowy początek wartości"),
      // The writer's exponent form reads back: "+" is part of a number right after its "E".
      Reads(u"[1E+5,2.64228E+009,1e+2,1E+]", u"[100000,2.64228E+009,100,1]"),
      // Anywhere else a "+" ends the number and then does not fit.
      Fails(u"[1+2]", u"Linia=1 Kolumna=4 Nieprawidłowy znak po liczbie"),
      Fails(u"[1E5+]", u"Linia=1 Kolumna=6 Nieprawidłowy znak po liczbie"),
      Fails(u"[1E++5]", u"Linia=1 Kolumna=6 Nieprawidłowy znak po liczbie"),
      Fails(u"[+1]", u"Linia=1 Kolumna=3 Nieprawidłowy znak zaczynający wartość"),
      Fails(u"[1}", u"Linia=1 Kolumna=4 Nieprawidłowy znak po liczbie"),
      Fails(u"[1 2]", u"Linia=1 Kolumna=5 Nieprawidłowy znak po elemencie tablicy"),
  });
}

TEST(LibraryJsonParse, Literals) {
  ExpectCases({
      Fails(u"[tru]", u"Linia=1 Kolumna=6 Nieprawidłowy literał"),
      Fails(u"[nulll]", u"Linia=1 Kolumna=8 Nieprawidłowy literał"),
      Fails(u"[fals ]", u"Linia=1 Kolumna=7 Nieprawidłowy literał"),
      Fails(u"[truex]", u"Linia=1 Kolumna=7 Nieprawidłowy literał lub znak po literale"),
      Fails(u"[true}", u"Linia=1 Kolumna=7 Nieprawidłowy literał lub znak po literale"),
      Reads(u"[true ,null\n]", u"[true,null]"),
  });
}

TEST(LibraryJsonParse, StringsAndEscapes) {
  ExpectCases({
      Reads(u"[\"\\u00e9\",\"\\u00E9\"]", u"[\"é\",\"é\"]"),
      Reads(u"[\"\\ud83d\\ude00\"]", u"[\"\xD83D\xDE00\"]"),
      Reads(u"[\"\\/\\\\\\\"\\b\\f\\n\\r\\t\"]", u"[\"/\\\\\\\"\\b\\f\\n\\r\\t\"]"),
      Reads(u"[\"\\u0000\"]", std::u16string(u"[\"\0\"]", 5)),
      // Control characters and line feeds inside a string are taken as they are.
      Reads(u"[\"a\x01\tb\nc\"]", u"[\"a\x01\\tb\\nc\"]"),
      Fails(u"[\"\\x\"]", u"Linia=1 Kolumna=5 Nieprawidłowa ESC-sekwencja"),
      Fails(u"[\"\\udc00\"]", u"Linia=1 Kolumna=9 Nieprawidłowa ESC-sekwencja"),
      Fails(u"[\"\\ud83dx\"]", u"Linia=1 Kolumna=10 Nieprawidłowa ESC-sekwencja"),
      Fails(u"[\"\\ud83d\\n\"]", u"Linia=1 Kolumna=11 Nieprawidłowa ESC-sekwencja"),
      Fails(u"[\"\\ud83d\\u0041\"]", u"Linia=1 Kolumna=15 Nieprawidłowa ESC-sekwencja"),
      Fails(u"[\"\\u12g4\"]", u"Linia=1 Kolumna=8 Nieprawidłowa ESC-sekwencja"),
      Fails(u"{\"\":1}", u"Linia=1 Kolumna=4 Nazwa pola nie może być pusta"),
      Reads(u"{\"\\u0061\":1}", u"{\"a\":1}"),
  });
}

TEST(LibraryJsonParse, StructureFailures) {
  ExpectCases({
      Fails(u"[1,]", u"Linia=1 Kolumna=5 Nieprawidłowy początek wartości"),
      Fails(u"{\"a\":1,}", u"Linia=1 Kolumna=9 Nieprawidłowy początek nazwy pola"),
      Fails(u"{\"a\":}", u"Linia=1 Kolumna=7 Nieprawidłowy początek wartości"),
      Fails(u"{\"a\" 1}", u"Linia=1 Kolumna=7 Po nazwie musi być dwukropek"),
      Fails(u"{\"a\":1 \"b\":2}", u"Linia=1 Kolumna=9 Nieprawidłowy znak po polu obiektu"),
      Fails(u"[\"a\"}", u"Linia=1 Kolumna=6 Nieprawidłowy znak po elemencie tablicy"),
      Fails(u"[}", u"Linia=1 Kolumna=3 Nieprawidłowy znak zaczynający wartość"),
      Fails(u"{1}", u"Linia=1 Kolumna=3 Nieprawidłowy znak rozpoczynający wartość"),
      Fails(u"{]", u"Linia=1 Kolumna=3 Nieprawidłowy znak rozpoczynający wartość"),
      // A repeated member name is reported by the object itself, without a position.
      Fails(u"{\"a\":1,\"a\":2}", u"Pole obiektu o wskazanej nazwie już istnieje"),
      Fails(u"{\"a\":{},\"a\":\"x\"}", u"Pole obiektu o wskazanej nazwie już istnieje"),
  });
}

TEST(LibraryJsonParse, RootsAndEnds) {
  ExpectCases({
      Fails(u"", u"Linia=1 Kolumna=1 Nie znaleziono obiektu JSON w tekście"),
      Fails(u"  \n ", u"Linia=2 Kolumna=2 Nie znaleziono obiektu JSON w tekście"),
      Fails(u"{} x", u"Linia=1 Kolumna=5 Nieprawidłowy znak rozpoczynający treść JSON"),
      Fails(u"3", u"Linia=1 Kolumna=2 Nieprawidłowy znak rozpoczynający treść JSON"),
      Fails(u"\"s\"", u"Linia=1 Kolumna=2 Nieprawidłowy znak rozpoczynający treść JSON"),
      Fails(u"true", u"Linia=1 Kolumna=2 Nieprawidłowy znak rozpoczynający treść JSON"),
      Fails(u"[\"abc", u"Linia=1 Kolumna=6 Tekst JSON niedokończony"),
      Fails(u"{\"a\":[1,2]", u"Linia=1 Kolumna=11 Tekst JSON niedokończony"),
      Fails(u"[1", u"Linia=1 Kolumna=3 Tekst JSON niedokończony"),
      Fails(u"[\"\\", u"Linia=1 Kolumna=4 Tekst JSON niedokończony"),
      // A byte-order mark is not white space: the text must start with a bracket or brace.
      Fails(u"\xFEFF{}", u"Linia=1 Kolumna=2 Nieprawidłowy znak rozpoczynający treść JSON"),
      Fails(u"[\xFEFF]", u"Linia=1 Kolumna=3 Nieprawidłowy znak zaczynający wartość"),
  });
}

// A line feed starts a new line at column 1, so the first code unit of a line is column 2.
TEST(LibraryJsonParse, LinesAndColumns) {
  ExpectCases({
      Fails(u"[\n1,\n]", u"Linia=3 Kolumna=2 Nieprawidłowy początek wartości"),
      Fails(u"{\n\"a\":1,\n\n  }", u"Linia=4 Kolumna=4 Nieprawidłowy początek nazwy pola"),
      Fails(u"[\"a\nb\",x]", u"Linia=2 Kolumna=5 Nieprawidłowy początek wartości"),
      Fails(u"[\r\n\r\nx]", u"Linia=3 Kolumna=2 Nieprawidłowy znak zaczynający wartość"),
      // Other line breaks are white space but do not count as lines.
      Fails(u"[\r\x2028x]", u"Linia=1 Kolumna=5 Nieprawidłowy znak zaczynający wartość"),
  });
}

TEST(LibraryJsonParse, FailureKeepsTheTargetAndSuccessKeepsTheStatus) {
  JsonHolder json = JsonHolder::CreateArray();
  json.Add(new JsonHolder(7.0));
  std::u16string status = u"before";
  EXPECT_FALSE(ParseCodeUnits(u"{\"a\":[1,2,{\"b\":", json, status));
  EXPECT_EQ(u"Linia=1 Kolumna=16 Tekst JSON niedokończony", status);
  EXPECT_EQ(u"[7]", json.ToString());

  status = u"before";
  EXPECT_TRUE(ParseCodeUnits(u"{\"x\":1}", json, status));
  EXPECT_EQ(u"before", status);
  EXPECT_EQ(u"{\"x\":1}", json.ToString());
}

// The parser takes runs of string and number code units whole from each piece it is fed; where the
// pieces end must change neither the value read nor the message and position of a failure.
TEST(LibraryJsonParse, TextCutIntoPiecesReadsAsWhole) {
  auto outcome = [](std::u16string_view text, std::size_t first, std::size_t piece) {
    JsonHolder json;
    std::u16string status;
    const bool ok = RunParser(
        [&](JsonParser& parser) {
          parser.Feed(text.substr(0, first));
          for (std::size_t at = first; at < text.size(); at += piece) parser.Feed(text.substr(at, piece));
        },
        json, status);
    return ok ? u"read " + json.ToString() : u"failed " + status;
  };
  const std::u16string texts[] = {
      u"{\"name\":\"ab\\\"c\\u00e9\\uD83D\\uDE00\\n\xD83D\xDE00 d\",\"n\":[-12.5E+3,0.25e-2,7,1.2.3],\"t\":true}",
      u"[\"line\nbreak\",\r\n  \"next\nline\", false,null]",
      u"{\"a\":\"unfinished\nstring",
      u"[\"x\",\n 12345 678]",
      u"[\"ok\",\n\"bad \\x escape\"]",
      u"[\"ok\",\n\"lone \\uDC00\"]",
      u"[1.5E+3,\n truex]",
      u"[\n-]",
      u"{\"\":1}",
  };
  for (const std::u16string& text : texts) {
    SCOPED_TRACE(text::to_utf8_display(text));
    const std::u16string whole = outcome(text, text.size(), 1);
    for (std::size_t first = 0; first <= text.size(); ++first) {
      EXPECT_EQ(whole, outcome(text, first, text.size())) << "cut after " << first;
    }
    for (std::size_t piece = 1; piece <= 7; ++piece) {
      EXPECT_EQ(whole, outcome(text, 0, piece)) << "pieces of " << piece;
    }
  }
  // The cuts matter only if the whole reading is right: two of the texts above, checked outright.
  EXPECT_EQ(u"read [\"line\\nbreak\",\"next\\nline\",false,null]", outcome(texts[1], texts[1].size(), 1));
  EXPECT_EQ(u"failed Linia=2 Kolumna=9 Nieprawidłowy znak po elemencie tablicy", outcome(texts[3], 0, 3));
}

// Nesting is bounded by memory only: reading, copying, writing and destroying a tree this deep
// would exhaust the call stack (8 MB on Linux, 1 MB on Windows) if any of them recursed.
TEST(LibraryJsonParse, DeepNestingReadsCopiesWritesAndDestroys) {
  constexpr std::size_t kDepth = 300'000;
  std::u16string deep(kDepth, u'[');
  deep.append(kDepth, u']');
  JsonHolder json;
  std::u16string status;
  ASSERT_TRUE(ParseCodeUnits(deep, json, status)) << text::to_utf8(status);
  const JsonHolder copy(json);
  EXPECT_EQ(deep, copy.ToString());
  std::unique_ptr<JsonHolder> clone(copy.Clone());
  EXPECT_EQ(1u, clone->Count());

  std::u16string objects;
  for (std::size_t i = 0; i < kDepth; ++i) objects += u"{\"a\":";
  objects += u"1";
  objects.append(kDepth, u'}');
  ASSERT_TRUE(ParseCodeUnits(objects, json, status)) << text::to_utf8(status);
  EXPECT_EQ(objects, json.ToString());

  // An unfinished deep text destroys its partial tree.
  EXPECT_FALSE(ParseCodeUnits(std::u16string(kDepth, u'['), json, status));
  EXPECT_EQ(u"Linia=1 Kolumna=300001 Tekst JSON niedokończony", status);
}

TEST(LibraryJsonEscToChar, StepByStep) {
  struct Step {
    std::u16string esc;
    bool complete;
    std::u16string appended;
  };
  const Step steps[] = {
      {u"n", true, u"\n"},       {u"/", true, u"/"},        {u"\"", true, u"\""},      {u"u", false, u""},
      {u"u0", false, u""},       {u"u00e", false, u""},     {u"u00e9", true, u"é"},    {u"uD83D", false, u""},
      {u"uD83D\\", false, u""},  {u"uD83D\\u", false, u""}, {u"uD83D\\uDE0", false, u""},
      {u"uD83D\\uDE00", true, u"\xD83D\xDE00"},           {u"uDBFF\\uDFFF", true, u"\xDBFF\xDFFF"},
      {u"uFFFF", true, u"\xFFFF"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(text::to_utf8(s.esc));
    std::u16string text = u"x";
    EXPECT_EQ(s.complete, JsonHolder::EscToChar(s.esc, text, 3, 4));
    EXPECT_EQ(u"x" + s.appended, text);
  }
  const std::u16string bad[] = {u"x", u"U", u"ug", u"u00g", u"uDC00", u"uDFFF", u"uD800x", u"uD800\\x",
                                u"uD800\\uD800", u"uD800\\uE000"};
  for (const std::u16string& esc : bad) {
    std::u16string text;
    try {
      // The last step of each is the one that fails; the steps before it are valid prefixes.
      JsonHolder::EscToChar(esc, text, 3, 4);
      ADD_FAILURE() << text::to_utf8(esc) << " was accepted";
    } catch (const JsonHolderException& e) {
      EXPECT_EQ(u"Linia=4 Kolumna=3 Nieprawidłowa ESC-sekwencja", e.Message()) << text::to_utf8(esc);
      EXPECT_EQ(0, e.Code());
    }
  }
}
