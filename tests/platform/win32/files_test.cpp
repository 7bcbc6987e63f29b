#include <gtest/gtest.h>

#include <string>

#include "platform/handle.h"
#include "platform/os.h"
#include "support/sim_root.h"

namespace {

class Win32Files : public testing_support::FreshHost {};

// Names with characters outside every ANSI code page, and file search, whose structure is copied.
TEST_F(Win32Files, NamesCrossUnchangedAndFindDataIsCopiedWhole) {
  const std::u16string name = u"zażółć gęślą jaźń €.txt";
  os::unique_hfile file{os::CreateFileW(win_path("zażółć gęślą jaźń €.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)};
  ASSERT_TRUE(file) << os::GetLastError();
  DWORD written = 0;
  ASSERT_TRUE(os::WriteFile(file.get(), "12345", 5, &written, nullptr));
  file.reset();
  ASSERT_TRUE(os::CreateDirectoryW(win_path("Łódź").c_str(), nullptr));

  os::WIN32_FIND_DATAW data{};
  os::unique_hfind find{os::FindFirstFileW(win_path("*").c_str(), &data)};
  ASSERT_TRUE(find) << os::GetLastError();
  bool saw_file = false;
  bool saw_folder = false;
  do {
    const std::u16string found = data.cFileName;
    if (found == name) {
      saw_file = true;
      EXPECT_EQ(data.nFileSizeLow, 5u);
      EXPECT_EQ(data.nFileSizeHigh, 0u);
      EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
      EXPECT_NE(data.ftLastWriteTime.dwLowDateTime | data.ftLastWriteTime.dwHighDateTime, 0u);
    } else if (found == u"Łódź") {
      saw_folder = true;
      EXPECT_NE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    }
  } while (os::FindNextFileW(find.get(), &data));
  EXPECT_EQ(os::GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(saw_file);
  EXPECT_TRUE(saw_folder);
}

TEST_F(Win32Files, SearchWithoutMatchOrWithoutDataFails) {
  os::WIN32_FIND_DATAW data{};
  EXPECT_EQ(os::FindFirstFileW(win_path("nothing-*.txt").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(os::GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(os::FindFirstFileW(win_path("*").c_str(), nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(os::GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(Win32Files, LastErrorIsTheSystemsOwn) {
  EXPECT_EQ(os::GetFileAttributesW(win_path("missing").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(os::GetLastError(), ERROR_FILE_NOT_FOUND);
  os::SetLastError(ERROR_MORE_DATA);
  EXPECT_EQ(os::GetLastError(), ERROR_MORE_DATA);
}

}  // namespace
