// Time and threads through os::.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <string>
#include <thread>

#include "platform/os.h"
#include "support/run_command.h"
#include "support/sim_root.h"

#ifndef _WIN32
#include "platform/sim/host.h"
#include "platform/sim/machine_clock.h"
#endif

namespace {

class Time : public testing_support::FreshHost {
 protected:
  DWORD tick_of_another_process() {
    const auto result = testing_support::run_built("platform_helper", {"tick"}, native_dir());
    EXPECT_EQ(0, result.status);
    return static_cast<DWORD>(std::stoul(result.out));
  }
};

}  // namespace

TEST_F(Time, TickCountIsTheMachinesAcrossProcesses) {
  const DWORD before = os::GetTickCount();
  const DWORD other = tick_of_another_process();
  const DWORD after = os::GetTickCount();
  EXPECT_LE(before, other);
  EXPECT_LE(other, after);
}

TEST_F(Time, SleepWaitsAtLeastAsLong) {
  const auto start = std::chrono::steady_clock::now();
  os::Sleep(60);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
  os::Sleep(0);
}

TEST_F(Time, LocalTimeIsNow) {
  SYSTEMTIME now{};
  os::GetLocalTime(&now);
  const std::time_t t = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  EXPECT_EQ(local.tm_year + 1900, now.wYear);
  EXPECT_EQ(local.tm_mon + 1, now.wMonth);
  EXPECT_EQ(local.tm_wday, now.wDayOfWeek);
  EXPECT_LE(now.wMilliseconds, 999);
  EXPECT_NEAR(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec, now.wHour * 3600 + now.wMinute * 60 + now.wSecond, 2);
}

TEST_F(Time, ThreadIdsTellThreadsApart) {
  const DWORD mine = os::GetCurrentThreadId();
  EXPECT_EQ(mine, os::GetCurrentThreadId());
  DWORD other = mine;
  std::thread([&] { other = os::GetCurrentThreadId(); }).join();
  EXPECT_NE(mine, other);
}

#ifndef _WIN32
TEST_F(Time, ANewMachineHasJustStartedAndBootSetsItsUptime) {
  EXPECT_LT(os::GetTickCount(), 5000u);
  ASSERT_TRUE(os::sim::restart_machine_clock(600000));
  const DWORD tick = os::GetTickCount();
  EXPECT_GE(tick, 600000u);
  EXPECT_LT(tick, 605000u);
  EXPECT_GE(tick_of_another_process(), tick);
}

TEST_F(Time, AClockFromAnEarlierLinuxBootMeansTheMachineRestarted) {
  testing_support::write_native_file(os::sim::sim_root() + "/machine/boot_time",
                                     "boot_id 00000000-0000-0000-0000-000000000000\nstart_boottime_ms -99999999\n");
  EXPECT_LT(os::GetTickCount(), 5000u);
  const std::string stored = testing_support::read_native_file(os::sim::sim_root() + "/machine/boot_time");
  EXPECT_EQ(std::string::npos, stored.find("00000000-0000"));
}
#endif
