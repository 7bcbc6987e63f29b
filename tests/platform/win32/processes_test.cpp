#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/handle.h"
#include "platform/os.h"

namespace {

std::u16string own_path() {
  char16_t buffer[MAX_PATH] = {};
  const DWORD length = os::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  return std::u16string(buffer, length);
}

std::u16string base_name(const std::u16string& path) { return path.substr(path.find_last_of(u"\\/") + 1); }

TEST(Win32Processes, OwnImageIsTheSameByEveryCall) {
  const std::u16string path = own_path();
  ASSERT_TRUE(path.ends_with(u"\\platform_win32_tests.exe")) << testing::PrintToString(path);
  EXPECT_NE(std::u16string(os::GetCommandLineW()).find(u"platform_win32_tests.exe"), std::u16string::npos);

  os::unique_handle process{os::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE,
                                            os::GetCurrentProcessId())};
  ASSERT_TRUE(process);
  char16_t buffer[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  ASSERT_TRUE(os::QueryFullProcessImageNameW(process.get(), 0, buffer, &size));
  EXPECT_EQ(std::u16string(buffer, size), path);
  EXPECT_EQ(std::u16string(buffer, os::GetModuleFileNameExW(process.get(), nullptr, buffer, MAX_PATH)), path);
  EXPECT_EQ(std::u16string(buffer, os::GetModuleBaseNameW(process.get(), nullptr, buffer, MAX_PATH)),
            u"platform_win32_tests.exe");

  // A buffer too small: the call fails and says so.
  size = 4;
  EXPECT_FALSE(os::QueryFullProcessImageNameW(process.get(), 0, buffer, &size));
  EXPECT_EQ(os::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(Win32Processes, EnumerationFindsThisProcess) {
  std::vector<DWORD> ids(4096);
  DWORD needed = 0;
  ASSERT_TRUE(os::EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &needed));
  ids.resize(needed / sizeof(DWORD));
  EXPECT_NE(std::find(ids.begin(), ids.end(), os::GetCurrentProcessId()), ids.end());
}

TEST(Win32Processes, SnapshotEntriesAreCopiedWhole) {
  os::unique_hfile snapshot{os::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)};
  ASSERT_TRUE(snapshot);
  os::PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  ASSERT_TRUE(os::Process32FirstW(snapshot.get(), &entry));
  bool found = false;
  do {
    if (entry.th32ProcessID == os::GetCurrentProcessId()) {
      found = true;
      EXPECT_EQ(std::u16string(entry.szExeFile), base_name(own_path()));
      EXPECT_GT(entry.cntThreads, 0u);
    }
  } while (os::Process32NextW(snapshot.get(), &entry));
  EXPECT_EQ(os::GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(found);
  EXPECT_EQ(entry.dwSize, sizeof(entry));
}

TEST(Win32Processes, SnapshotRejectsAShortEntrySize) {
  os::unique_hfile snapshot{os::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)};
  ASSERT_TRUE(snapshot);
  os::PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry) - 1;
  EXPECT_FALSE(os::Process32FirstW(snapshot.get(), &entry));
  EXPECT_EQ(os::GetLastError(), ERROR_BAD_LENGTH);
  EXPECT_FALSE(os::Process32FirstW(snapshot.get(), nullptr));
  EXPECT_EQ(os::GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Win32Processes, TokenUserIsTheUser) {
  os::unique_handle token;
  ASSERT_TRUE(os::OpenProcessToken(os::GetCurrentProcess(), TOKEN_QUERY, token.put()));
  DWORD needed = 0;
  os::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &needed);
  ASSERT_GT(needed, 0u);
  std::vector<unsigned char> info(needed);
  ASSERT_TRUE(os::GetTokenInformation(token.get(), TokenUser, info.data(), needed, &needed));
  const auto* user = reinterpret_cast<const TOKEN_USER*>(info.data());

  char16_t name[256] = {};
  char16_t domain[256] = {};
  DWORD name_size = 256;
  DWORD domain_size = 256;
  SID_NAME_USE use{};
  ASSERT_TRUE(os::LookupAccountSidW(nullptr, user->User.Sid, name, &name_size, domain, &domain_size, &use));

  char16_t own[256] = {};
  DWORD own_size = 256;
  ASSERT_TRUE(os::GetUserNameW(own, &own_size));
  EXPECT_EQ(std::u16string(name, name_size), std::u16string(own));
  EXPECT_EQ(own_size, name_size + 1);  // GetUserNameW counts the terminating zero
}

}  // namespace
