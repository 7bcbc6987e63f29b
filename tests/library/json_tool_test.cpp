// `vostrelusb-tool json --library FILE`: every edge case of the library's reader as the tool shows
// it, a document written back on standard output or "<code>: <message>" with its position on
// standard error.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/sim_root.h"
#include "text/utf.h"
#include "tool/commands.h"

namespace {

struct ToolResult {
  int status;
  std::string out;
  std::string err;
};

class LibraryJsonTool : public testing_support::FreshHost {
 protected:
  ToolResult Run(const std::string& name) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    // A native path: on the simulated host a Linux path, which the tool maps to its Z: form.
    const int status = tool::json_library((std::filesystem::path(native_dir()) / name).string());
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    return {status, std::move(out), std::move(err)};
  }

  // The error line for a text that does not parse: code 30, the message, the file's path.
  std::string ParseError(const std::string& message, const std::string& name) const {
    return "30: " + message + " plik: " + text::to_utf8_display(win_path(name)) + "\n";
  }
};

struct ToolCase {
  std::u16string document;
  std::string out;  // expected standard output when the document reads
  std::string err;  // otherwise the message (position included), without code and path
};

}  // namespace

TEST_F(LibraryJsonTool, EdgeCasesWithPositions) {
  const ToolCase cases[] = {
      {u"{\"b\":1,\"a\":2}", "{\"a\":2,\"b\":1}", ""},
      {u"{ \"z\": {\"y\": 1, \"x\": [ ]} }\r\n", "{\"z\":{\"x\":[],\"y\":1}}", ""},
      {u"[3,-0.25,1234567,65535]", "[3,-0.25,1.23457E+006,65535]", ""},
      {u"[\"\\t/é\",\"\\u0001\"]", "[\"\\t/\xC3\xA9\",\"\x01\"]", ""},
      {u"{}", "{}", ""},
      {u"[]", "[]", ""},
      {u"[1,]", "", "Linia=1 Kolumna=5 Nieprawidłowy początek wartości"},
      {u"{\"a\":1,}", "", "Linia=1 Kolumna=9 Nieprawidłowy początek nazwy pola"},
      {u"{\"a\":1,\"a\":2}", "", "Pole obiektu o wskazanej nazwie już istnieje"},
      {u"{\"\":1}", "", "Linia=1 Kolumna=4 Nazwa pola nie może być pusta"},
      {u"[tru]", "", "Linia=1 Kolumna=6 Nieprawidłowy literał"},
      {u"[nulll]", "", "Linia=1 Kolumna=8 Nieprawidłowy literał"},
      {u"[truex]", "", "Linia=1 Kolumna=7 Nieprawidłowy literał lub znak po literale"},
      {u"[-]", "", "Linia=1 Kolumna=4 Niepoprawny format liczby"},
      {u"[1.5E3,1.2.3,1E+5]", "[1500,1.2,100000]", ""},
      {u"[1+2]", "", "Linia=1 Kolumna=4 Nieprawidłowy znak po liczbie"},
      {u"[1 2]", "", "Linia=1 Kolumna=5 Nieprawidłowy znak po elemencie tablicy"},
      {u"{\"a\":1 \"b\":2}", "", "Linia=1 Kolumna=9 Nieprawidłowy znak po polu obiektu"},
      {u"{\"a\" 1}", "", "Linia=1 Kolumna=7 Po nazwie musi być dwukropek"},
      {u"[\"\\u00e9\",\"\\ud83d\\ude00\"]", "[\"\xC3\xA9\",\"\xF0\x9F\x98\x80\"]", ""},
      {u"[\"\\udc00\"]", "", "Linia=1 Kolumna=9 Nieprawidłowa ESC-sekwencja"},
      {u"[\"\\ud83dx\"]", "", "Linia=1 Kolumna=10 Nieprawidłowa ESC-sekwencja"},
      {u"[\"\\x\"]", "", "Linia=1 Kolumna=5 Nieprawidłowa ESC-sekwencja"},
      {u"[\"abc", "", "Linia=1 Kolumna=6 Tekst JSON niedokończony"},
      {u"{\"a\":[", "", "Linia=1 Kolumna=7 Tekst JSON niedokończony"},
      {u"", "", "Linia=1 Kolumna=1 Nie znaleziono obiektu JSON w tekście"},
      {u" \n\t", "", "Linia=2 Kolumna=2 Nie znaleziono obiektu JSON w tekście"},
      {u"{\"a\":1}{\"b\":2}", "{\"b\":2}", ""},
      {u"{} x", "", "Linia=1 Kolumna=5 Nieprawidłowy znak rozpoczynający treść JSON"},
      {u"3", "", "Linia=1 Kolumna=2 Nieprawidłowy znak rozpoczynający treść JSON"},
      {u"\"s\"", "", "Linia=1 Kolumna=2 Nieprawidłowy znak rozpoczynający treść JSON"},
      {u"true", "", "Linia=1 Kolumna=2 Nieprawidłowy znak rozpoczynający treść JSON"},
      {u"[\n1,\n]", "", "Linia=3 Kolumna=2 Nieprawidłowy początek wartości"},
      {u"\xFEFF{}", "", "Linia=1 Kolumna=2 Nieprawidłowy znak rozpoczynający treść JSON"},
  };
  for (const ToolCase& c : cases) {
    SCOPED_TRACE(text::to_utf8_display(c.document));
    testing_support::write_native_file(native_dir() + "/doc.json", text::to_utf16le(c.document));
    const ToolResult result = Run("doc.json");
    if (c.err.empty()) {
      EXPECT_EQ(0, result.status);
      EXPECT_EQ(c.out, result.out);
      EXPECT_EQ("", result.err);
    } else {
      EXPECT_EQ(1, result.status);
      EXPECT_EQ("", result.out);
      EXPECT_EQ(ParseError(c.err, "doc.json"), result.err);
    }
  }
}

TEST_F(LibraryJsonTool, MissingFileGivesTheSystemCode) {
  const ToolResult result = Run("missing.json");
  EXPECT_EQ(1, result.status);
  EXPECT_EQ("", result.out);
  EXPECT_EQ("2: Plik [" + text::to_utf8_display(win_path("missing.json")) +
                "]: Nie udało się otworzyć pliku -> err=0x00000002\n",
            result.err);
}
