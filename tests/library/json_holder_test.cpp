// The value itself: construction, deep copies, reading and building with their failure messages,
// the compact writer and the exception.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>

#include "library/json/json_holder.h"
#include "library/json/json_parser.h"
#include "parsed.h"
#include "text/format.h"
#include "text/utf.h"

using namespace VostUsbWardenManager;

namespace {

// The message of the JsonHolderException that `action` throws, or "(nothing thrown)".
std::u16string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const JsonHolderException& e) {
    EXPECT_EQ(0, e.Code());
    return e.Message();
  }
  return u"(nothing thrown)";
}

}  // namespace

TEST(LibraryJsonHolder, ConstructionGivesTypeAndValue) {
  EXPECT_EQ(JsonHolderType::Null, JsonHolder().GetTyp());
  EXPECT_EQ(JsonHolderType::Number, JsonHolder(2.5).GetTyp());
  EXPECT_EQ(2.5, JsonHolder(2.5).NumberVal());
  EXPECT_EQ(JsonHolderType::Number, JsonHolder(7).GetTyp());  // an int is a number, never a boolean
  EXPECT_EQ(u"abc", JsonHolder(std::u16string(u"abc")).StringVal());
  EXPECT_EQ(u"abc", JsonHolder(u"abc").StringVal());  // a text literal is a string, never a boolean
  const JsonHolder yes(true);
  ASSERT_EQ(JsonHolderType::Boolean, yes.GetTyp());
  EXPECT_TRUE(yes.Value().flag);
  EXPECT_FALSE(JsonHolder(false).Value().flag);
  EXPECT_EQ(JsonHolderType::Object, JsonHolder::CreateObject().GetTyp());
  EXPECT_EQ(JsonHolderType::Array, JsonHolder::CreateArray().GetTyp());

  auto* elements = new JsonArray{new JsonHolder(1.0), new JsonHolder(u"x")};
  EXPECT_EQ(u"[1,\"x\"]", JsonHolder(elements).ToString());
  auto* members = new JsonObject{{u"b", new JsonHolder(true)}, {u"a", new JsonHolder()}};
  EXPECT_EQ(u"{\"a\":null,\"b\":true}", JsonHolder(members).ToString());
}

TEST(LibraryJsonHolder, AssignmentSetToNullAndBooleans) {
  JsonHolder v = Parsed(u"{\"a\":[1,2]}");
  v = true;
  EXPECT_EQ(u"true", v.ToString());
  v = Parsed(u"[\"s\"]");
  JsonHolder& same = v.SetToNull();
  EXPECT_EQ(&v, &same);
  EXPECT_EQ(JsonHolderType::Null, v.GetTyp());
  EXPECT_EQ(0.0, v.Value().number);
}

TEST(LibraryJsonHolder, CopiesAreDeep) {
  JsonHolder original = Parsed(u"{\"list\":[1,{\"k\":\"v\"}],\"name\":\"n\"}");
  JsonHolder copy(original);
  copy[u"list"][1].Add(u"k2", new JsonHolder(2.0));
  copy[u"name"] = JsonHolder(u"changed");
  EXPECT_EQ(u"{\"list\":[1,{\"k\":\"v\"}],\"name\":\"n\"}", original.ToString());
  EXPECT_EQ(u"{\"list\":[1,{\"k\":\"v\",\"k2\":2}],\"name\":\"changed\"}", copy.ToString());

  JsonHolder assigned;
  assigned = original;
  original[u"list"].Add(new JsonHolder());
  EXPECT_EQ(u"{\"list\":[1,{\"k\":\"v\"}],\"name\":\"n\"}", assigned.ToString());

  std::unique_ptr<JsonHolder> clone(original.Clone());
  original.SetToNull();
  EXPECT_EQ(u"{\"list\":[1,{\"k\":\"v\"},null],\"name\":\"n\"}", clone->ToString());
}

// The copy is made before the old content goes, so a value can take a part of itself.
TEST(LibraryJsonHolder, AssigningAPartOfItself) {
  JsonHolder doc = Parsed(u"{\"a\":{\"b\":[1,2]}}");
  doc = doc[u"a"];
  EXPECT_EQ(u"{\"b\":[1,2]}", doc.ToString());
  doc = std::move(doc[u"b"]);
  EXPECT_EQ(u"[1,2]", doc.ToString());
  doc = doc;  // NOLINT: self-assignment keeps the value
  EXPECT_EQ(u"[1,2]", doc.ToString());
}

TEST(LibraryJsonHolder, CountOfStringsArraysAndObjects) {
  EXPECT_EQ(2u, JsonHolder(u"\xD83D\xDE00").Count());  // code units, not characters
  EXPECT_EQ(0u, JsonHolder(u"").Count());
  EXPECT_EQ(3u, Parsed(u"[1,[2,3],4]").Count());
  EXPECT_EQ(2u, Parsed(u"{\"a\":{\"x\":1},\"b\":2}").Count());
  const std::u16string only = u"Liczebność posiadają tylko napisy, tablice i obiekty";
  EXPECT_EQ(only, MessageOf([] { JsonHolder().Count(); }));
  EXPECT_EQ(only, MessageOf([] { JsonHolder(1.0).Count(); }));
  EXPECT_EQ(only, MessageOf([] { JsonHolder(true).Count(); }));
}

TEST(LibraryJsonHolder, IndexingFailuresInTheirOrder) {
  const JsonHolder two = Parsed(u"[\"a\",\"b\"]");
  const JsonHolder object = Parsed(u"{\"a\":1}");
  EXPECT_EQ(u"b", two[1].StringVal());
  struct Case {
    std::function<void()> action;
    std::u16string message;
  };
  const Case cases[] = {
      {[&] { two[2]; }, u"Indeks tablicy wykracza po za jej rozmiar"},
      {[&] { two[-1]; }, u"Indeks tablicy nie może być ujemny"},
      {[&] { object[0]; }, u"Tylko wartość tablicowa może być indeksowana liczbą"},
      {[&] { JsonHolder(u"ab")[-1]; }, u"Tylko wartość tablicowa może być indeksowana liczbą"},
      {[&] { JsonHolder::CreateArray()[0]; }, u"Indeks tablicy wykracza po za jej rozmiar"},
      {[&] { object[u"b"]; }, u"Obiekt nie posiada pola o takiej nazwie"},
      {[&] { object[u"A"]; }, u"Obiekt nie posiada pola o takiej nazwie"},
      {[&] { two[u"a"]; }, u"Tylko wartość obiektowa może być indeksowana nazwą"},
      {[&] { two.HasField(u"a"); }, u"Tylko wartość obiektowa może być indeksowana nazwą"},
      {[&] { object[u"a"].StringVal(); }, u"Wartość nie jest typu String"},
      {[&] { two[0].NumberVal(); }, u"Wartość nie jest typu liczby"},
      {[&] { JsonHolder(true).NumberVal(); }, u"Wartość nie jest typu liczby"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.message, MessageOf(c.action));
}

TEST(LibraryJsonHolder, LookupsNeverCreateMembers) {
  JsonHolder object = Parsed(u"{\"a\":1}");
  EXPECT_TRUE(object.HasField(u"a"));
  EXPECT_FALSE(object.HasField(u"b"));
  MessageOf([&] { object[u"b"]; });
  EXPECT_FALSE(object.HasField(u"b"));
  EXPECT_EQ(1u, object.Count());
  object[u"a"] = JsonHolder(5.0);  // a found member can be replaced through the reference
  EXPECT_EQ(u"{\"a\":5}", object.ToString());
}

TEST(LibraryJsonHolder, BuildingAndItsFailures) {
  JsonHolder object = JsonHolder::CreateObject();
  JsonHolder* b = object.Add(u"b", new JsonHolder(1.0));
  object.Add(u"a", new JsonHolder(u"x"));
  EXPECT_EQ(1.0, b->NumberVal());
  EXPECT_EQ(u"{\"a\":\"x\",\"b\":1}", object.ToString());

  JsonHolder array = JsonHolder::CreateArray();
  array.Add(new JsonHolder(2.0));
  array.Add(new JsonHolder(2.0));
  EXPECT_EQ(u"[2,2]", array.ToString());

  // When Add fails the caller still owns the child (the sanitizer build would see a double free or
  // a leak otherwise).
  auto child = std::make_unique<JsonHolder>(3.0);
  EXPECT_EQ(u"Pole obiektu o wskazanej nazwie już istnieje", MessageOf([&] { object.Add(u"a", child.get()); }));
  EXPECT_EQ(u"Tylko do wartości obiektowej można dopisywać pola", MessageOf([&] { array.Add(u"a", child.get()); }));
  EXPECT_EQ(u"Tylko do wartości obiektowej można dopisywać pola", MessageOf([&] { JsonHolder().Add(u"a", child.get()); }));
  EXPECT_EQ(u"Tylko do wartości tablicowej można dopisywać elementy", MessageOf([&] { object.Add(child.get()); }));
  EXPECT_EQ(u"Wadliwy argument typu JsonHolder &", MessageOf([&] { array.Add(nullptr); }));
  EXPECT_EQ(u"{\"a\":\"x\",\"b\":1}", object.ToString());
  EXPECT_EQ(u"[2,2]", array.ToString());
}

TEST(LibraryJsonWriter, NumbersAsPercentG) {
  struct Case {
    double value;
    std::u16string text;
  };
  const Case cases[] = {
      {1, u"1"},          {3, u"3"},          {0.5, u"0.5"},           {-0.25, u"-0.25"},
      {65535, u"65535"},  {0, u"0"},          {-0.0, u"-0"},           {999999, u"999999"},
      {1234567, u"1.23457E+006"},             {1000000, u"1E+006"},    {999999.5, u"1E+006"},
      {4294967295.0, u"4.29497E+009"},        {0.0001, u"0.0001"},     {0.00001, u"1E-005"},
      {1.0 / 3, u"0.333333"},                 {1e300, u"1E+300"},      {-123456789.0, u"-1.23457E+008"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.text, JsonHolder(c.value).ToString()) << c.value;
  // Whole numbers take a shortcut past the formatter; it must agree with "%G" everywhere.
  for (double v = -1'000'003; v <= 1'000'003; v += 997) {
    EXPECT_EQ(text::format(u"%G", v), JsonHolder(v).ToString());
    EXPECT_EQ(text::format(u"%G", v + 0.5), JsonHolder(v + 0.5).ToString());
  }
  // No JSON form: written as null so that the text stays readable.
  JsonHolder special = JsonHolder::CreateArray();
  special.Add(new JsonHolder(std::numeric_limits<double>::infinity()));
  special.Add(new JsonHolder(-std::numeric_limits<double>::infinity()));
  special.Add(new JsonHolder(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_EQ(u"[null,null,null]", special.ToString());
}

TEST(LibraryJsonWriter, QuoteEscapesOnlyWhatItMust) {
  struct Case {
    std::u16string text;
    std::u16string quoted;
  };
  const Case cases[] = {
      {u"", u"\"\""},
      {u"a\tb/cé", u"\"a\\tb/cé\""},
      {u"\\\"\b\f\n\r\t", u"\"\\\\\\\"\\b\\f\\n\\r\\t\""},
      {u"\x01\x1F\x7F", u"\"\x01\x1F\x7F\""},
      {std::u16string(u"a\0b", 3), std::u16string(u"\"a\0b\"", 5)},
      {u"\xD800 \xDC00", u"\"\xD800 \xDC00\""},  // lone surrogates pass unchanged
      {u"zażółć", u"\"zażółć\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.quoted, JsonHolder::quote(c.text));
    EXPECT_EQ(c.quoted, JsonHolder(c.text).ToString());
  }
}

TEST(LibraryJsonWriter, MembersSortedAsUnsignedCodeUnits) {
  JsonHolder object = JsonHolder::CreateObject();
  for (const char16_t* name : {u"b", u"a", u"DeviceDescription", u"DEVINST", u"\xFF01", u"\xE9", u"Z", u"\xD83D\xDE00"}) {
    object.Add(name, new JsonHolder());
  }
  EXPECT_EQ(u"{\"DEVINST\":null,\"DeviceDescription\":null,\"Z\":null,\"a\":null,\"b\":null,\"\xE9\":null,"
            u"\"\xD83D\xDE00\":null,\"\xFF01\":null}",
            object.ToString());
}

TEST(LibraryJsonHolderException, Constructors) {
  const JsonHolderException empty;
  EXPECT_EQ(u"", empty.Message());
  EXPECT_EQ(0, empty.Code());
  EXPECT_EQ(u"m", JsonHolderException(u"m").Message());
  EXPECT_EQ(0, JsonHolderException(u"m").Code());
  EXPECT_EQ(5, JsonHolderException(u"m", 5).Code());
  // Column first, then line; the prefix shows the line first.
  EXPECT_EQ(u"Linia=7 Kolumna=12 m", JsonHolderException(12, 7, u"m").Message());
  EXPECT_EQ(u"Linia=-1 Kolumna=2147483647 ", JsonHolderException(2147483647, -1, u"").Message());

  const JsonHolderException original(u"oryginał", 1100);
  std::unique_ptr<JsonHolderException> clone(original.Clone());
  const JsonHolderException copy(original);
  EXPECT_EQ(u"oryginał", clone->Message());
  EXPECT_EQ(1100, clone->Code());
  EXPECT_EQ(u"oryginał", copy.Message());
  EXPECT_EQ(1100, copy.Code());
}

TEST(LibraryJsonHolderException, FileFailureMessage) {
  try {
    JsonHolder::ThrowJsonHolderException(u"C:\\data\\a.json", 2, u"Nie udało się otworzyć pliku");
  } catch (const JsonHolderException& e) {
    EXPECT_EQ(u"Plik [C:\\data\\a.json]: Nie udało się otworzyć pliku -> err=0x00000002", e.Message());
    EXPECT_EQ(2, e.Code());
  }
  // A message longer than any fixed buffer is kept whole.
  const std::u16string long_path = u"C:\\" + std::u16string(300, u'd') + u"\\a.json";
  try {
    JsonHolder::ThrowJsonHolderException(long_path, 0xC0000005u, u"Nie udało się zapisać zawartości pliku");
  } catch (const JsonHolderException& e) {
    EXPECT_EQ(u"Plik [" + long_path + u"]: Nie udało się zapisać zawartości pliku -> err=0xC0000005", e.Message());
    EXPECT_EQ(static_cast<std::int32_t>(0xC0000005u), e.Code());
  }
}
