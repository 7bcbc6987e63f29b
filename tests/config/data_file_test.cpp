#include "config/data_file.h"

#include <gtest/gtest.h>

#include "config/scramble.h"
#include "support/sim_root.h"
#include "text/utf.h"

namespace {

const std::string kJson = "{\"usb\":{\"active\":1}}";

std::string utf16(const std::u16string& s) { return text::to_utf16le(s); }

}  // namespace

class DataFile : public testing_support::FreshHost {
 protected:
  // Writes `bytes` as a file and reads it back through the reader.
  std::u16string read_text(const std::string& bytes, bool* had_data = nullptr, bool* scrambled = nullptr) {
    testing_support::write_native_file(native_dir() + "/f.bin", bytes);
    CDataFile file;
    const bool data = file.read(win_path("f.bin")) != nullptr;
    if (had_data) *had_data = data;
    if (scrambled) *scrambled = file.is_scrambled();
    return file.text();
  }
};

TEST_F(DataFile, EveryStoredFormGivesTheSameText) {
  const std::u16string expected = text::from_utf8(kJson);
  const struct {
    const char* form;
    std::string bytes;
    bool scrambled;
  } cases[] = {
      {"narrow", kJson, false},
      {"utf-16le", utf16(expected), false},
      {"utf-16le with byte-order mark", "\xFF\xFE" + utf16(expected), false},
      {"scrambled narrow", scramble::scramble_file(kJson), true},
      {"scrambled utf-16le with mark", scramble::scramble_file("\xFF\xFE" + utf16(expected)), true},
      {"trailing NUL and garbage", kJson + std::string("\0garbage", 8), false},
  };
  for (const auto& c : cases) {
    bool had_data = false, scrambled = false;
    EXPECT_EQ(expected, read_text(c.bytes, &had_data, &scrambled)) << c.form;
    EXPECT_TRUE(had_data) << c.form;
    EXPECT_EQ(c.scrambled, scrambled) << c.form;
  }
}

TEST_F(DataFile, EdgeCases) {
  bool had_data = true, scrambled = true;
  // The mark alone is returned unchanged, and read as narrow text.
  EXPECT_EQ(u"C2H5OH", read_text("C2H5OH", &had_data, &scrambled));
  EXPECT_TRUE(had_data);
  EXPECT_FALSE(scrambled);
  // Empty file: no data.
  EXPECT_EQ(u"", read_text("", &had_data));
  EXPECT_FALSE(had_data);
  // One byte: read as UTF-16 with the terminator completing the code unit.
  EXPECT_EQ(u"A", read_text("A"));
  // A first character outside 1-255 makes UTF-16LE look narrow.
  EXPECT_NE(u"\u0141x", read_text(utf16(u"\u0141x")));
  // Mark plus one byte: descrambled to one byte.
  bool s = false;
  read_text(scramble::scramble_file("{"), &had_data, &s);
  EXPECT_TRUE(s);
}

TEST_F(DataFile, MissingFileGivesNoData) {
  CDataFile file;
  EXPECT_EQ(nullptr, file.read(win_path("missing.json")));
  EXPECT_EQ(u"", file.text());
  EXPECT_EQ(nullptr, file.read(win_path("no\\such\\folder\\x")));
}

TEST_F(DataFile, ReusedReaderForgetsThePreviousFile) {
  testing_support::write_native_file(native_dir() + "/a", "first");
  testing_support::write_native_file(native_dir() + "/b", "second");
  CDataFile file;
  ASSERT_NE(nullptr, file.read(win_path("a")));
  EXPECT_EQ(u"first", file.text());
  ASSERT_NE(nullptr, file.read(win_path("b")));
  EXPECT_EQ(u"second", file.text());
  EXPECT_EQ(6u, file.size());
}

TEST(Scramble, KeyStreamRestartsForEveryFileAndInverts) {
  const std::string plain = std::string(1000, 'a') + kJson;
  const std::string once = scramble::scramble_file(plain);
  EXPECT_EQ(once, scramble::scramble_file(plain));
  EXPECT_EQ(plain.size() + 6, once.size());
  EXPECT_EQ("C2H5OH", once.substr(0, 6));
  std::string payload = once.substr(6);
  EXPECT_NE(plain, payload);
  // No key byte is zero: every plain byte changes.
  for (std::size_t i = 0; i < plain.size(); ++i) EXPECT_NE(plain[i], payload[i]) << i;
  scramble::apply_key_stream(reinterpret_cast<std::uint8_t*>(payload.data()), payload.size());
  EXPECT_EQ(plain, payload);
}
