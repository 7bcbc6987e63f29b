#include <gtest/gtest.h>

#include <string>

#include "platform/handle.h"
#include "platform/os.h"
#include "support/sim_root.h"

namespace {

class Win32Shell : public testing_support::FreshHost {
 protected:
  // The structure points into `file` and `parameters`, which must outlive it.
  static os::SHELLEXECUTEINFOW start_info(const std::u16string& file, const char16_t* parameters) {
    os::SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpFile = file.c_str();
    info.lpParameters = parameters;
    info.nShow = SW_HIDE;
    return info;
  }
};

TEST_F(Win32Shell, StartsAProgramAndHandsBackItsProcess) {
  const std::u16string program = bin_path("debug-writer.exe");
  auto info = start_info(program, u"1 shell-test");
  ASSERT_TRUE(os::ShellExecuteExW(&info)) << os::GetLastError();
  os::unique_handle process{info.hProcess};
  ASSERT_TRUE(process);
  EXPECT_GT(reinterpret_cast<ULONG_PTR>(info.hInstApp), 32u);
  ASSERT_EQ(os::WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
  DWORD code = 1;
  ASSERT_TRUE(os::GetExitCodeProcess(process.get(), &code));
  EXPECT_EQ(code, 0u);

  // Wrong arguments reach the program too: debug-writer says so with exit code 2.
  info = start_info(program, u"");
  ASSERT_TRUE(os::ShellExecuteExW(&info));
  process.reset(info.hProcess);
  ASSERT_EQ(os::WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
  ASSERT_TRUE(os::GetExitCodeProcess(process.get(), &code));
  EXPECT_EQ(code, 2u);
}

TEST_F(Win32Shell, RequestsOurStructureCannotCarryAreRefused) {
  const std::u16string program = bin_path("debug-writer.exe");
  auto info = start_info(program, u"");
  info.cbSize = sizeof(info) + 8;
  EXPECT_FALSE(os::ShellExecuteExW(&info));
  EXPECT_EQ(os::GetLastError(), ERROR_INVALID_PARAMETER);

  info = start_info(program, u"");
  info.fMask |= SEE_MASK_CLASSNAME;
  EXPECT_FALSE(os::ShellExecuteExW(&info));
  EXPECT_EQ(os::GetLastError(), ERROR_INVALID_PARAMETER);

  EXPECT_FALSE(os::ShellExecuteExW(nullptr));
  EXPECT_EQ(os::GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
