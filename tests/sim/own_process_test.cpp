// Own-process services: the program runs as the machine's system account; one that never reports
// to the service manager makes the start fail after the start time-out while it keeps running.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "machine_fixture.h"

namespace sim_tests {
namespace {

class OwnProcess : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    os::unique_hkey control;
    ASSERT_EQ(os::RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control", 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, control.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(os::RegSetValueExW(control.get(), u"ServicesPipeTimeout", 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&kTimeoutMs), sizeof kTimeoutMs),
              ERROR_SUCCESS);
  }
  static constexpr DWORD kTimeoutMs = 1200;
};

TEST_F(OwnProcess, ProgramThatNeverReportsFailsTheStartWith1053AndKeepsRunning) {
  auto service = create(u"Quiet", SERVICE_WIN32_OWN_PROCESS, u"\"" + bin_path("service_program") + u"\" " + win_path("pid"));
  const auto began = std::chrono::steady_clock::now();
  auto starting = std::async(std::launch::async, [&] {
    return os::StartServiceW(service.get(), 0, nullptr) ? ERROR_SUCCESS : os::GetLastError();
  });
  const pid_t program = read_pid_file(native_dir() + "/pid");
  end_at_teardown(program);
  ASSERT_NE(program, 0);
  // Meanwhile another handle (the starting one is busy in its call) sees the start pending, with
  // the program's process, and cannot stop it yet.
  auto watcher = open(u"Quiet", SERVICE_QUERY_STATUS | SERVICE_STOP);
  const auto pending = status(watcher.get());
  EXPECT_EQ(pending.dwCurrentState, SERVICE_START_PENDING);
  EXPECT_EQ(pending.dwProcessId, static_cast<DWORD>(program));
  SERVICE_STATUS st{};
  EXPECT_FALSE(os::ControlService(watcher.get(), SERVICE_CONTROL_STOP, &st));
  EXPECT_EQ(os::GetLastError(), ERROR_SERVICE_CANNOT_ACCEPT_CTRL);

  EXPECT_EQ(starting.get(), ERROR_SERVICE_REQUEST_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(kTimeoutMs));
  EXPECT_TRUE(process_alive(program));
  const auto after = status(watcher.get());
  EXPECT_EQ(after.dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(after.dwWin32ExitCode, ERROR_SERVICE_REQUEST_TIMEOUT);
}

TEST_F(OwnProcess, StartFailsForAMissingOrEndingProgram) {
  auto missing = create(u"Missing", SERVICE_WIN32_OWN_PROCESS, win_path("absent.exe") + u" /x");
  EXPECT_FALSE(os::StartServiceW(missing.get(), 0, nullptr));
  EXPECT_EQ(os::GetLastError(), ERROR_FILE_NOT_FOUND);
  // sc.exe without arguments prints its help and ends at once.
  auto ending = create(u"Ending", SERVICE_WIN32_OWN_PROCESS, bin_path("sc.exe"));
  EXPECT_FALSE(os::StartServiceW(ending.get(), 0, nullptr));
  EXPECT_EQ(os::GetLastError(), ERROR_PROCESS_ABORTED);
  EXPECT_EQ(status(ending.get()).dwCurrentState, SERVICE_STOPPED);
}

}  // namespace
}  // namespace sim_tests
