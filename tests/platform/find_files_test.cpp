// File search through os::: patterns, "." and "..", and the errors of an empty or missing folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/handle.h"
#include "platform/os.h"
#include "support/sim_root.h"
#include "text/utf.h"

namespace {

class FindFiles : public testing_support::FreshHost {
 protected:
  void SetUp() override {
    FreshHost::SetUp();
    for (const char* name : {"a.txt", "B.TXT", "c.log", "readme", "ab.txt"}) {
      testing_support::write_native_file(native_dir() + "/dir/" + name, std::string(std::strlen(name), 'x'));
    }
    ASSERT_TRUE(os::CreateDirectoryW(win_path("dir/sub").c_str(), nullptr));
  }

  // The names found, sorted (Windows gives NTFS order, Wine the Linux folder's order).
  std::vector<std::string> find(const std::string& pattern, DWORD* error = nullptr) {
    std::vector<std::string> names;
    os::WIN32_FIND_DATAW data{};
    os::unique_hfind search(os::FindFirstFileW(win_path(pattern).c_str(), &data));
    if (error) *error = search ? ERROR_SUCCESS : os::GetLastError();
    if (!search) return names;
    do {
      names.push_back(text::to_utf8(data.cFileName));
    } while (os::FindNextFileW(search.get(), &data));
    EXPECT_EQ(ERROR_NO_MORE_FILES, os::GetLastError());
    std::sort(names.begin(), names.end());
    return names;
  }

  using Names = std::vector<std::string>;
};

}  // namespace

TEST_F(FindFiles, PatternsMatchTheLastComponentWithoutCase) {
  struct Case {
    const char* pattern;
    Names names;
  };
  const Case cases[] = {
      {"dir/*", {".", "..", "B.TXT", "a.txt", "ab.txt", "c.log", "readme", "sub"}},
      {"dir/*.*", {".", "..", "B.TXT", "a.txt", "ab.txt", "c.log", "readme", "sub"}},
      {"dir/*.txt", {"B.TXT", "a.txt", "ab.txt"}},
      {"dir/?.TXT", {"B.TXT", "a.txt"}},
      {"dir/A*", {"a.txt", "ab.txt"}},
      {"dir/*.LOG", {"c.log"}},
      {"dir/README", {"readme"}},
      {"dir/s?b", {"sub"}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.names, find(c.pattern)) << c.pattern;
}

TEST_F(FindFiles, EntriesCarryAttributesAndSizes) {
  os::WIN32_FIND_DATAW data{};
  os::unique_hfind search(os::FindFirstFileW(win_path("dir/c.log").c_str(), &data));
  ASSERT_TRUE(search);
  EXPECT_EQ(std::u16string(u"c.log"), data.cFileName);
  EXPECT_EQ(5u, data.nFileSizeLow);
  EXPECT_FALSE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_NE(0u, data.ftLastWriteTime.dwHighDateTime);
  search.reset();

  search.reset(os::FindFirstFileW(win_path("dir/su*").c_str(), &data));
  ASSERT_TRUE(search);
  EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(FindFiles, NothingFoundAndMissingFolder) {
  DWORD error = 0;
  EXPECT_TRUE(find("dir/*.exe", &error).empty());
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, error);
  EXPECT_TRUE(find("dir/sub/*.txt", &error).empty());
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, error);
  EXPECT_TRUE(find("missing/*", &error).empty());
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, error);
  // An empty folder still lists itself and its parent for "*".
  EXPECT_EQ((Names{".", ".."}), find("dir/sub/*"));
}

TEST_F(FindFiles, ASearchHandleClosesOnce) {
  os::WIN32_FIND_DATAW data{};
  HANDLE search = os::FindFirstFileW(win_path("dir/*").c_str(), &data);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  EXPECT_TRUE(os::FindClose(search));
#ifndef _WIN32
  // Windows leaves a closed search handle's fate undefined (Wine may even close it again).
  EXPECT_FALSE(os::FindClose(search));
  EXPECT_FALSE(os::FindNextFileW(search, &data));
  EXPECT_EQ(ERROR_INVALID_HANDLE, os::GetLastError());
#endif
}
