#include "process/paths.h"

#include <gtest/gtest.h>

#include "platform/os.h"
#include "process/registry.h"
#include "support/sim_root.h"
#include "text/utf.h"

using paths::path_join;

TEST(PathJoin, AtMostOneSeparatorAddedOrDropped) {
  const struct {
    std::u16string path, sub, joined;
  } cases[] = {
      {u"C:\\a\\", u"\\b", u"C:\\a\\b"},
      {u"C:\\a", u"b", u"C:\\a\\b"},
      {u"", u"b", u"\\b"},
      {u"C:\\a", u"", u"C:\\a\\"},
      {u"C:\\a\\", u"\\\\b", u"C:\\a\\\\b"},
      {u"C:\\a", u"b\\\\c", u"C:\\a\\b\\\\c"},
      {u"", u"", u"\\"},
      {u"C:\\a/", u"b", u"C:\\a/\\b"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.joined, path_join(c.path, c.sub)) << text::to_utf8(c.path) << " + " << text::to_utf8(c.sub);
}

class Paths : public testing_support::FreshHost {};

TEST_F(Paths, DataPathFollowsAllUsersProfile) {
  const std::string old = [] {
    const char* v = std::getenv("ALLUSERSPROFILE");
    return std::string(v ? v : "");
  }();
  testing_support::set_env("ALLUSERSPROFILE", "C:\\Shared");
  EXPECT_EQ(u"C:\\Shared\\kavenor", paths::data_path());
  EXPECT_EQ(u"C:\\Shared\\kavenor\\tmp\\x.txt", paths::data_path(u"tmp\\x.txt"));
  testing_support::set_env("ALLUSERSPROFILE", old.empty() ? nullptr : old.c_str());
}

TEST_F(Paths, RootPathFromTheRegistryAsWritten) {
  EXPECT_EQ(u"\\bin\\u_io.bin", paths::root_path(u"bin\\u_io.bin"));  // no installation folder
  const std::u16string root = u"%ProgramFiles%\\kavenor";
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, os::RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\kavenor", 0, nullptr, 0, KEY_ALL_ACCESS,
                                               nullptr, &key, nullptr));
  ASSERT_EQ(ERROR_SUCCESS, os::RegSetValueExW(key, u"RootPath", 0, REG_EXPAND_SZ,
                                              reinterpret_cast<const BYTE*>(root.c_str()),
                                              static_cast<DWORD>((root.size() + 1) * 2)));
  os::RegCloseKey(key);
  EXPECT_EQ(u"%ProgramFiles%\\kavenor\\", paths::root_path(u""));
  EXPECT_EQ(u"%ProgramFiles%\\kavenor\\bin\\u_io.bin", paths::root_path(u"\\bin\\u_io.bin"));
}

TEST_F(Paths, ProgramPathIsTheFolderOfThisExecutable) {
  const std::u16string folder = paths::program_path();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(u'\\', folder.back());
  EXPECT_EQ(folder + u"\\x.sys", paths::program_path(u"x.sys"));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, os::GetFileAttributesW(folder.c_str()));
}

TEST_F(Paths, MakeFoldersCreatesEveryLevelAndToleratesExisting) {
  const std::u16string deep = win_path("a\\b\\c");
  EXPECT_EQ(1, paths::make_folders(deep));
  EXPECT_EQ(1, paths::make_folders(deep));
  EXPECT_TRUE(os::GetFileAttributesW(deep.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(Paths, WriteWholeFileReplacesContentEvenOfAReadOnlyFile) {
  const std::u16string file = win_path("x\\y\\z.bin");
  ASSERT_EQ(1, paths::write_whole_file(file, "first content", 13));
  ASSERT_TRUE(os::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_EQ(1, paths::write_whole_file(file, "two", 3));
  EXPECT_EQ("two", testing_support::read_native_file(native_dir() + "/x/y/z.bin"));
  EXPECT_EQ(0u, os::GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST_F(Paths, WriteWholeFileEmptyAndTextForms) {
  const std::u16string file = win_path("t.txt");
  ASSERT_EQ(1, paths::write_whole_file(file, "", 0));
  EXPECT_EQ("", testing_support::read_native_file(native_dir() + "/t.txt"));
  ASSERT_EQ(1, paths::write_utf16_file(file, u"Ł"));
  EXPECT_EQ(std::string("\x41\x01", 2), testing_support::read_native_file(native_dir() + "/t.txt"));
  ASSERT_EQ(1, paths::write_utf8_file(file, u"Ł\xD800"));
  EXPECT_EQ("\xC5\x81", testing_support::read_native_file(native_dir() + "/t.txt"));
}

TEST_F(Paths, WriteWholeFileFailsCleanlyWhereNothingCanBeWritten) {
  // A file where a folder should be: the folders cannot be made, the file cannot be opened.
  testing_support::write_native_file(native_dir() + "/blocker", "x");
  EXPECT_EQ(0, paths::write_whole_file(win_path("blocker\\f.txt"), "a", 1));
  // A path whose folder part is far beyond any fixed buffer: a defined failure, no overflow.
  std::u16string long_path = win_path("");
  for (int i = 0; i < 600; ++i) long_path += u"abcdefgh\\";
  long_path += u"f.txt";
  EXPECT_EQ(0, paths::write_whole_file(long_path, "a", 1));
}
