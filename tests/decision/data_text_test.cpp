// Reading the text of rule files and device texts: UTF-16LE, UTF-8, ANSI text, scrambled files.
#include <gtest/gtest.h>

#include "config/scramble.h"
#include "decision/data_text.h"
#include "support/sim_root.h"
#include "text/utf.h"

class DataText : public testing_support::FreshHost {};

TEST_F(DataText, EachStoredFormGivesItsText) {
  const std::u16string polish = u"{\"opis\":\"Żółta kamera\"}";
  struct Case {
    const char* name;
    std::string bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {"ASCII", "{\"a\":1}", u"{\"a\":1}"},
      {"UTF-8", text::to_utf8(polish), polish},
      {"UTF-8 with its mark", "\xEF\xBB\xBF" + text::to_utf8(polish), polish},
      {"UTF-16LE", text::to_utf16le(polish), polish},
      {"UTF-16LE with its mark", "\xFF\xFE" + text::to_utf16le(polish), polish},
      {"ANSI (not UTF-8)", "{\"opis\":\"\xB3\xF3\"}", u"{\"opis\":\"³ó\"}"},  // code page 1252
      {"ends at NUL", std::string("{}\0{\"a\":1}", 10), u"{}"},
      {"scrambled UTF-8", scramble::scramble_file(text::to_utf8(polish)), polish},
  };
  for (const Case& c : cases) {
    testing_support::write_native_file(native_dir() + "/file.json", c.bytes);
    std::u16string text;
    ASSERT_TRUE(read_data_text(win_path("file.json"), text)) << c.name;
    EXPECT_EQ(c.text, text) << c.name;
  }
}

TEST_F(DataText, MissingOrEmptyFileGivesNoData) {
  std::u16string text = u"unchanged";
  EXPECT_FALSE(read_data_text(win_path("missing.json"), text));
  testing_support::write_native_file(native_dir() + "/empty.json", "");
  EXPECT_FALSE(read_data_text(win_path("empty.json"), text));
  EXPECT_EQ(u"unchanged", text);
}
