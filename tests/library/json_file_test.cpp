// Loading and saving documents through the platform layer: round trips, the buffered reader, and
// the error codes and messages of files that are missing, unreadable or unwritable.
#include <gtest/gtest.h>

#include <filesystem>

#include "library/json/json_holder.h"
#include "library/json/json_parser.h"
#include "parsed.h"
#include "library/json/strumien.h"
#include "support/sim_root.h"
#include "text/format.h"
#include "text/utf.h"

using namespace VostUsbWardenManager;
using testing_support::read_native_file;
using testing_support::write_native_file;

namespace {

class LibraryJsonFile : public testing_support::FreshHost {
 protected:
  std::string native(const std::string& name) const { return native_dir() + "/" + name; }

  // LoadFromFile into a value that holds a marker, so that an unchanged target shows.
  std::uint32_t Load(const std::u16string& path) {
    loaded_ = JsonHolder(u"unchanged");
    status_ = u"";
    return JsonHolder::LoadFromFile(path, loaded_, status_);
  }

  JsonHolder loaded_;
  std::u16string status_;
};

std::u16string OpenFailure(const std::u16string& path, unsigned code) {
  return u"Plik [" + path + u"]: Nie udało się otworzyć pliku -> err=0x" + text::format(u"%08X", code);
}

}  // namespace

TEST_F(LibraryJsonFile, SavedFileIsCompactUtf16AndReadsBack) {
  const JsonHolder doc = Parsed(
      u"{ \"b\" : [1, 2642280000, -0.25, true, null],\n \"a\" : {\"Żółw\":\"\\ud83d\\ude00 \\t/\"}, \"c\":\"\" }");
  const std::u16string path = win_path("doc.json");
  std::u16string status = u"untouched";
  ASSERT_EQ(0u, doc.SaveToFile(path, status));
  EXPECT_EQ(u"untouched", status);
  const std::u16string expected =
      u"{\"a\":{\"Żółw\":\"\xD83D\xDE00 \\t/\"},\"b\":[1,2.64228E+009,-0.25,true,null],\"c\":\"\"}";
  EXPECT_EQ(text::to_utf16le(expected), read_native_file(native("doc.json")));  // no byte-order mark

  ASSERT_EQ(0u, Load(path)) << text::to_utf8(status_);
  EXPECT_EQ(u"", status_);
  EXPECT_EQ(expected, loaded_.ToString());
}

TEST_F(LibraryJsonFile, SaveReplacesALongerFile) {
  write_native_file(native("doc.json"), std::string(1000, 'x'));
  std::u16string status;
  ASSERT_EQ(0u, JsonHolder::CreateArray().SaveToFile(win_path("doc.json"), status));
  EXPECT_EQ(text::to_utf16le(u"[]"), read_native_file(native("doc.json")));
}

// The reader fetches blocks; text that spans block boundaries and a file with an odd last byte
// read exactly as from memory.
TEST_F(LibraryJsonFile, LargeAndOddSizedFilesReadAsFromMemory) {
  std::u16string large = u"[";
  for (int i = 0; i < 20000; ++i) {
    if (i > 0) large += u",\n";
    large += text::format(u"{\"n\":%d,\"s\":\"zażółć \\u00e9 \xD83D\xDE00 %d\"}", i, i * 7);
  }
  large += u"]";
  ASSERT_GT(large.size() * 2, 3u * 64 * 1024);
  const std::u16string expected = Parsed(large).ToString();

  write_native_file(native("large.json"), text::to_utf16le(large));
  ASSERT_EQ(0u, Load(win_path("large.json"))) << text::to_utf8(status_);
  EXPECT_EQ(expected, loaded_.ToString());

  write_native_file(native("odd.json"), text::to_utf16le(large) + "\x7F");
  ASSERT_EQ(0u, Load(win_path("odd.json"))) << text::to_utf8(status_);
  EXPECT_EQ(expected, loaded_.ToString());

  // The same text one line short of its closing bracket fails at the last code unit read.
  write_native_file(native("short.json"), text::to_utf16le(large.substr(0, large.size() - 1)));
  EXPECT_EQ(30u, Load(win_path("short.json")));
  EXPECT_EQ(u"Linia=20000 Kolumna=" + text::format(u"%d", static_cast<int>(large.size() - 1 - large.rfind(u'\n'))) +
                u" Tekst JSON niedokończony plik: " + win_path("short.json"),
            status_);
}

// Each construct is placed so that the end of the first 64 KiB read falls at each place inside it,
// and the file then reads as the same text from memory: the same value, or the same message at the
// same line and column.
TEST_F(LibraryJsonFile, ConstructsAcrossTheReadBlockBoundaryReadAsFromMemory) {
  constexpr std::size_t kBlockUnits = 64 * 1024 / 2;
  const std::u16string constructs[] = {
      u"-12.5E+3",
      u"\"\\u00e9\\uD83D\\uDE00\\n\"",
      u"\"a\xD83D\xDE00z\"",
      u"1,\r\n2",
      u"\"x\ny\"",
      u"false",
      u"truex",
      u"1.5+",
  };
  const std::u16string path = win_path("boundary.json");
  for (const std::u16string& construct : constructs) {
    for (std::size_t inside = 1; inside < construct.size(); ++inside) {
      // [ "filler", construct ] with `inside` code units of the construct in the first block.
      const std::size_t filler = kBlockUnits - inside - 4;
      const std::u16string doc = u"[\"" + std::u16string(filler, u'f') + u"\"," + construct + u"]";
      ASSERT_EQ(kBlockUnits, doc.find(construct) + inside);
      SCOPED_TRACE(text::to_utf8_display(construct) + " split after " + std::to_string(inside));
      JsonHolder expected;
      std::u16string expected_status;
      const bool ok = ParseCodeUnits(doc, expected, expected_status);
      write_native_file(native("boundary.json"), text::to_utf16le(doc));
      EXPECT_EQ(ok ? 0u : 30u, Load(path));
      if (ok) {
        EXPECT_EQ(expected.ToString(), loaded_.ToString());
      } else {
        EXPECT_EQ(expected_status + u" plik: " + path, status_);
      }
    }
  }
  // A text that ends at the end of a block, complete or inside a string.
  const std::u16string complete = u"[\"" + std::u16string(kBlockUnits - 4, u'c') + u"\"]";
  write_native_file(native("boundary.json"), text::to_utf16le(complete));
  EXPECT_EQ(0u, Load(path)) << text::to_utf8_display(status_);
  EXPECT_EQ(kBlockUnits - 4, loaded_[0].Count());
  write_native_file(native("boundary.json"), text::to_utf16le(complete.substr(0, kBlockUnits - 2) + u"\n\n"));
  EXPECT_EQ(30u, Load(path));
  EXPECT_EQ(u"Linia=3 Kolumna=1 Tekst JSON niedokończony plik: " + path, status_);
}

TEST_F(LibraryJsonFile, ParseFailuresGiveReadFaultWithPositionAndPath) {
  struct Case {
    std::string bytes;
    std::u16string message;
  };
  const Case cases[] = {
      {"", u"Linia=1 Kolumna=1 Nie znaleziono obiektu JSON w tekście"},
      {"\x7B", u"Linia=1 Kolumna=1 Nie znaleziono obiektu JSON w tekście"},  // one byte: no code unit
      {text::to_utf16le(u"[1,]"), u"Linia=1 Kolumna=5 Nieprawidłowy początek wartości"},
      {text::to_utf16le(u"{\"a\":1,\"a\":2}"), u"Pole obiektu o wskazanej nazwie już istnieje"},
      {text::to_utf16le(u"\n\n  x"), u"Linia=3 Kolumna=4 Nieprawidłowy znak rozpoczynający treść JSON"},
      // A byte-order mark is not white space.
      {"\xFF\xFE" + text::to_utf16le(u"{}"), u"Linia=1 Kolumna=2 Nieprawidłowy znak rozpoczynający treść JSON"},
      // UTF-8 is not what the library reads: its bytes pair up into other code units.
      {"{}", u"Linia=1 Kolumna=2 Nieprawidłowy znak rozpoczynający treść JSON"},
  };
  for (const Case& c : cases) {
    write_native_file(native("bad.json"), c.bytes);
    EXPECT_EQ(30u, Load(win_path("bad.json")));
    EXPECT_EQ(c.message + u" plik: " + win_path("bad.json"), status_);
    EXPECT_EQ(u"\"unchanged\"", loaded_.ToString());
  }
}

TEST_F(LibraryJsonFile, FilesThatCannotBeOpened) {
  const std::u16string missing = win_path("missing.json");
  EXPECT_EQ(2u, Load(missing));
  EXPECT_EQ(OpenFailure(missing, 2), status_);
  EXPECT_EQ(u"\"unchanged\"", loaded_.ToString());

  const std::u16string in_missing_folder = win_path("no-such-folder/a.json");
  EXPECT_EQ(3u, Load(in_missing_folder));
  EXPECT_EQ(OpenFailure(in_missing_folder, 3), status_);

  // A folder cannot be opened as a file.
  std::filesystem::create_directories(native("folder"));
  EXPECT_EQ(5u, Load(win_path("folder")));
  EXPECT_EQ(OpenFailure(win_path("folder"), 5), status_);

  const JsonHolder doc = Parsed(u"[1]");
  std::u16string status;
  EXPECT_EQ(3u, doc.SaveToFile(in_missing_folder, status));
  EXPECT_EQ(OpenFailure(in_missing_folder, 3), status);
  EXPECT_EQ(5u, doc.SaveToFile(win_path("folder"), status));
  EXPECT_EQ(OpenFailure(win_path("folder"), 5), status);
}

TEST_F(LibraryJsonFile, ReadOnlyFileReadsButIsNotReplaced) {
  const std::u16string path = win_path("ro.json");
  write_native_file(native("ro.json"), text::to_utf16le(u"[true]"));
  ASSERT_TRUE(os::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_EQ(0u, Load(path)) << text::to_utf8(status_);
  EXPECT_EQ(u"[true]", loaded_.ToString());

  // Windows and the simulated host refuse to replace a read-only file; Wine running as root lets
  // it through. Either way the outcome is the system's, reported as it is.
  std::u16string status;
  const std::uint32_t code = Parsed(u"[false]").SaveToFile(path, status);
#ifndef _WIN32
  EXPECT_EQ(5u, code);
#endif
  if (code == 0) {
    EXPECT_EQ(text::to_utf16le(u"[false]"), read_native_file(native("ro.json")));
  } else {
    EXPECT_EQ(5u, code);
    EXPECT_EQ(OpenFailure(path, 5), status);
    EXPECT_EQ(text::to_utf16le(u"[true]"), read_native_file(native("ro.json")));
  }
  os::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A device that takes no data: the write fails with the system's code, reported as such.
TEST_F(LibraryJsonFile, FailedWriteReportsTheSystemCode) {
  const std::u16string full = u"Z:\\dev\\full";
  {
    os::unique_hfile probe(os::CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!probe) GTEST_SKIP() << "no Z:\\dev\\full on this machine";
  }
  std::u16string status;
  const std::uint32_t code = Parsed(u"[1]").SaveToFile(full, status);
  EXPECT_NE(0u, code);
  EXPECT_NE(29u, code);  // the system's own code, not the fallback
  EXPECT_EQ(u"Plik [Z:\\dev\\full]: Nie udało się zapisać zawartości pliku -> err=0x" + text::format(u"%08X", code),
            status);
}

// Reading many code units at a time gives what one at a time gives, across the reader's blocks,
// and stops where ReadWChar would give 0xFFFF.
TEST_F(LibraryJsonFile, StrumienReadsManyCodeUnitsAtATime) {
  std::u16string units;
  for (char16_t c = 1; units.size() < 40000; ++c) units += c;
  write_native_file(native("units"), text::to_utf16le(units) + "\x7F");
  Strumien str;
  char16_t none[1] = {u'?'};
  EXPECT_EQ(0u, str.ReadWChars(none, 1));  // not open
  ASSERT_TRUE(str.OpenFileToRead(win_path("units")));
  std::u16string read(units.size() + 10, u'?');
  EXPECT_EQ(1u, str.ReadWChars(read.data(), 1));
  EXPECT_EQ(u'\x0001', read[0]);
  EXPECT_EQ(units.size() - 1, str.ReadWChars(read.data() + 1, read.size() - 1));
  read.resize(units.size());
  EXPECT_EQ(units, read);
  EXPECT_EQ(0u, str.ReadWChars(none, 1));  // only the odd byte is left
  EXPECT_EQ(0xFFFF, str.ReadWChar());
}

TEST_F(LibraryJsonFile, StrumienReadsCodeUnitsAndReportsItsState) {
  write_native_file(native("units"), std::string("A\0\xE9\0\x3D\xD8\x7F", 7));
  Strumien str;
  EXPECT_EQ(0u, str.getSize());
  EXPECT_EQ(0xFFFF, str.ReadWChar());
  EXPECT_FALSE(str.Close());
  EXPECT_FALSE(str.OpenFileToRead(win_path("missing")));
  ASSERT_TRUE(str.OpenFileToRead(win_path("units")));
  EXPECT_FALSE(str.OpenFileToRead(win_path("units")));  // already open
  EXPECT_EQ(7u, str.getSize());
  EXPECT_EQ(u'A', str.ReadWChar());
  EXPECT_EQ(u'é', str.ReadWChar());
  EXPECT_EQ(0xD83D, str.ReadWChar());
  EXPECT_EQ(0xFFFF, str.ReadWChar());  // one byte left
  EXPECT_EQ(0xFFFF, str.ReadWChar());
  EXPECT_TRUE(str.Close());
  EXPECT_EQ(0u, str.getSize());
  ASSERT_TRUE(str.OpenFileToRead(win_path("units")));  // can be opened again after closing
  EXPECT_EQ(u'A', str.ReadWChar());
}
