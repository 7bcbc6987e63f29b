// Events: manual and automatic reset, waits with time-outs, waiters in other threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/handle.h"
#include "platform/os.h"

namespace {

using Clock = std::chrono::steady_clock;

os::unique_handle make_event(bool manual_reset, bool signalled) {
  return os::unique_handle(os::CreateEventW(nullptr, manual_reset, signalled, nullptr));
}

TEST(Events, AutomaticResetLetsOneWaitThrough) {
  auto event = make_event(false, false);
  ASSERT_TRUE(event);
  EXPECT_EQ(DWORD{WAIT_TIMEOUT}, os::WaitForSingleObject(event.get(), 0));
  ASSERT_TRUE(os::SetEvent(event.get()));
  EXPECT_EQ(DWORD{WAIT_OBJECT_0}, os::WaitForSingleObject(event.get(), 0));
  EXPECT_EQ(DWORD{WAIT_TIMEOUT}, os::WaitForSingleObject(event.get(), 0));
}

TEST(Events, ManualResetStaysSignalledUntilReset) {
  auto event = make_event(true, true);
  ASSERT_TRUE(event);
  EXPECT_EQ(DWORD{WAIT_OBJECT_0}, os::WaitForSingleObject(event.get(), 0));
  EXPECT_EQ(DWORD{WAIT_OBJECT_0}, os::WaitForSingleObject(event.get(), 0));
  ASSERT_TRUE(os::ResetEvent(event.get()));
  EXPECT_EQ(DWORD{WAIT_TIMEOUT}, os::WaitForSingleObject(event.get(), 0));
  ASSERT_TRUE(os::SetEvent(event.get()));
  ASSERT_TRUE(os::SetEvent(event.get()));  // setting twice is still one signalled state
  EXPECT_EQ(DWORD{WAIT_OBJECT_0}, os::WaitForSingleObject(event.get(), 0));
}

TEST(Events, ATimeOutLastsItsTime) {
  auto event = make_event(false, false);
  const auto start = Clock::now();
  EXPECT_EQ(DWORD{WAIT_TIMEOUT}, os::WaitForSingleObject(event.get(), 150));
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(140));
  EXPECT_LT(waited, std::chrono::milliseconds(2000));
}

TEST(Events, AnotherThreadWakesAnEndlessWait) {
  auto event = make_event(false, false);
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    os::SetEvent(event.get());
  });
  EXPECT_EQ(DWORD{WAIT_OBJECT_0}, os::WaitForSingleObject(event.get(), INFINITE));
  setter.join();
}

TEST(Events, OneSetOfAnAutomaticEventReleasesOneOfTwoWaiters) {
  auto event = make_event(false, false);
  std::atomic<int> woken{0};
  std::atomic<int> timed_out{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 2; ++i) {
    waiters.emplace_back([&] {
      const DWORD result = os::WaitForSingleObject(event.get(), 600);
      if (result == WAIT_OBJECT_0) ++woken;
      if (result == WAIT_TIMEOUT) ++timed_out;
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  os::SetEvent(event.get());
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(1, woken.load());
  EXPECT_EQ(1, timed_out.load());
}

TEST(Events, ASetOfAManualEventReleasesEveryWaiter) {
  auto event = make_event(true, false);
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      if (os::WaitForSingleObject(event.get(), 5000) == WAIT_OBJECT_0) ++woken;
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  os::SetEvent(event.get());
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(3, woken.load());
}

TEST(Events, CallsOnOtherObjectsFail) {
  os::unique_handle mutex(os::CreateMutexW(nullptr, FALSE, nullptr));
  EXPECT_FALSE(os::SetEvent(mutex.get()));
  EXPECT_EQ(DWORD{ERROR_INVALID_HANDLE}, os::GetLastError());
  EXPECT_FALSE(os::ResetEvent(nullptr));
  EXPECT_EQ(DWORD{ERROR_INVALID_HANDLE}, os::GetLastError());
  EXPECT_TRUE(os::CloseHandle(os::GetCurrentProcess()));  // the pseudo handle needs no closing
}

#ifndef _WIN32
TEST(Events, NamedEventsAreNotSimulated) {
  EXPECT_EQ(nullptr, os::CreateEventW(nullptr, TRUE, FALSE, u"vostusb-event"));
  EXPECT_EQ(DWORD{ERROR_CALL_NOT_IMPLEMENTED}, os::GetLastError());
}
#endif

}  // namespace
