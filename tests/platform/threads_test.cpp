// Threads and waiting for any one of several objects: a suspended start, resuming, terminating a
// thread that never ran, waits that report the lowest signalled index, and a thread's end as a
// signal.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/handle.h"
#include "platform/os.h"

namespace {

os::unique_handle make_event(bool manual_reset, bool signalled) {
  return os::unique_handle(os::CreateEventW(nullptr, manual_reset, signalled, nullptr));
}

std::atomic<int> runs{0};

DWORD Count(void* parameter) {
  ++runs;
  // Waits for its event, so the test decides when it ends.
  return os::WaitForSingleObject(static_cast<HANDLE>(parameter), INFINITE) == WAIT_OBJECT_0 ? 7 : 1;
}

// A suspended thread of Count that waits for `go` once resumed.
os::unique_handle suspended(HANDLE go, DWORD& id) {
  runs = 0;
  return os::unique_handle(os::CreateThread(nullptr, 0, Count, go, CREATE_SUSPENDED, &id));
}

TEST(Threads, ASuspendedThreadRunsOnlyOnceResumed) {
  auto go = make_event(true, false);
  DWORD id = 0;
  os::unique_handle thread = suspended(go.get(), id);
  ASSERT_TRUE(thread);
  EXPECT_NE(id, 0u);
  EXPECT_NE(id, os::GetCurrentThreadId());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(runs.load(), 0);
  EXPECT_EQ(os::ResumeThread(thread.get()), 1u) << "the previous suspend count";
  EXPECT_EQ(os::ResumeThread(thread.get()), 0u);
  EXPECT_EQ(os::WaitForSingleObject(thread.get(), 50), DWORD{WAIT_TIMEOUT});
  ASSERT_TRUE(os::SetEvent(go.get()));
  EXPECT_EQ(os::WaitForSingleObject(thread.get(), 5000), DWORD{WAIT_OBJECT_0});
  EXPECT_EQ(runs.load(), 1);
}

TEST(Threads, TerminatingAThreadThatNeverRan) {
  auto go = make_event(true, false);
  DWORD id = 0;
  os::unique_handle thread = suspended(go.get(), id);
  ASSERT_TRUE(thread);
  EXPECT_TRUE(os::TerminateThread(thread.get(), 0));
  EXPECT_EQ(os::WaitForSingleObject(thread.get(), 5000), DWORD{WAIT_OBJECT_0});
  EXPECT_EQ(runs.load(), 0);
  EXPECT_EQ(os::ResumeThread(nullptr), 0xFFFFFFFFu);
}

TEST(Threads, WaitingForAnyOne) {
  auto first = make_event(true, false);
  auto second = make_event(false, false);
  const HANDLE both[2] = {first.get(), second.get()};
  EXPECT_EQ(os::WaitForMultipleObjects(2, both, FALSE, 20), DWORD{WAIT_TIMEOUT});
  os::SetEvent(second.get());
  EXPECT_EQ(os::WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(os::WaitForMultipleObjects(2, both, FALSE, 0), DWORD{WAIT_TIMEOUT}) << "the automatic event was taken";
  os::SetEvent(first.get());
  os::SetEvent(second.get());
  EXPECT_EQ(os::WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0) << "the lowest index wins";
  EXPECT_EQ(os::WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0) << "a manual event stays set";

  // A signal from another thread while the wait sleeps, and a thread's end as a signal.
  os::ResetEvent(first.get());
  auto go = make_event(true, false);
  os::unique_handle thread(os::CreateThread(nullptr, 0, Count, go.get(), 0, nullptr));
  ASSERT_TRUE(thread);
  const HANDLE with_thread[2] = {first.get(), thread.get()};
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    os::SetEvent(go.get());
  });
  EXPECT_EQ(os::WaitForMultipleObjects(2, with_thread, FALSE, 5000), WAIT_OBJECT_0 + 1);
  setter.join();
}

}  // namespace
