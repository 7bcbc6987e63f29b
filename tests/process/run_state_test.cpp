#include "process/run_state.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/handle.h"
#include "support/sim_root.h"
#include "text/utf.h"

TEST(CommandLineSwitch, Table) {
  const struct {
    std::u16string line, sw;
    int found;
    std::u16string value;
  } cases[] = {
      {u"vostrelusb.exe /start", u"/start", 1, u""},
      {u"vostrelusb.exe /START", u"/start", 1, u""},
      {u"vostrelusb.exe /started", u"/start", 1, u""},  // a substring anywhere counts
      {u"vostrelusb.exe", u"/start", 0, u""},
      {u"x /GUD:C:\\Out\\List.json", u"/gud:", 1, u"c:\\out\\list.json"},
      {u"x /gud:c:\\a b\\c.json /start", u"/gud:", 1, u"c:\\a"},
      {u"x /gud:\"C:\\A B\\c.json\" /start", u"/gud:", 1, u"c:\\a b\\c.json"},
      {u"x /gud:\"c:\\unterminated value", u"/gud:", 1, u"c:\\unterminated value"},
      {u"x /gud:", u"/gud:", 1, u""},
      {u"x /gud:\"", u"/gud:", 1, u""},
      {u"x /gud:\"\" /start", u"/gud:", 1, u""},
      {u"x /test:rules.json", u"/test:", 1, u"rules.json"},
      {u"", u"/stop", 0, u""},
  };
  for (const auto& c : cases) {
    std::u16string value = u"stale";
    EXPECT_EQ(c.found, get_cmdline_switch(c.line, c.sw, value)) << text::to_utf8(c.line);
    EXPECT_EQ(c.value, value) << text::to_utf8(c.line);
  }
}

class GlobalMutex : public testing_support::FreshHost {};

TEST_F(GlobalMutex, ExistsWhileAHandleIsHeld) {
  EXPECT_EQ(0, global_mutex_exists(u"VOSTUSB_TEST_MUTEX"));
  {
    os::unique_handle held(os::CreateMutexW(nullptr, FALSE, u"Global\\VOSTUSB_TEST_MUTEX"));
    ASSERT_TRUE(held);
    EXPECT_EQ(1, global_mutex_exists(u"VOSTUSB_TEST_MUTEX"));
    // A local mutex of the same name is another object.
    EXPECT_EQ(0, global_mutex_exists(u"VOSTUSB_OTHER"));
  }
  EXPECT_EQ(0, global_mutex_exists(u"VOSTUSB_TEST_MUTEX"));
  os::unique_handle local(os::CreateMutexW(nullptr, FALSE, u"VOSTUSB_LOCAL_ONLY"));
  EXPECT_EQ(0, global_mutex_exists(u"VOSTUSB_LOCAL_ONLY"));
}

namespace {

std::atomic<int> g_running{0};
std::atomic<int> g_peak{0};
std::atomic<bool> g_release{false};

UINT hold_until_released(void*) {
  const int now = ++g_running;
  int peak = g_peak.load();
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
  while (!g_release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  --g_running;
  return 0;
}

UINT count_once(void* param) {
  ++*static_cast<std::atomic<int>*>(param);
  return 0;
}

}  // namespace

TEST(ThreadGroup, NeverMoreLiveThreadsThanTheLimit) {
  g_running = 0;
  g_peak = 0;
  g_release = false;
  CThreadGroup group(3);
  for (int i = 0; i < 3; ++i) ASSERT_NE(nullptr, group.Start(hold_until_released, nullptr));
  // The fourth start waits until one of the three has finished.
  std::thread releaser([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    g_release = true;
  });
  const auto before = std::chrono::steady_clock::now();
  ASSERT_NE(nullptr, group.Start(hold_until_released, nullptr));
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(90));
  releaser.join();
  EXPECT_LE(g_peak.load(), 3);
}

TEST(ThreadGroup, ReapRemovesFinishedThreads) {
  std::atomic<int> runs{0};
  CThreadGroup group(100);
  for (int i = 0; i < 20; ++i) group.Start(count_once, &runs);
  for (int i = 0; i < 500 && runs.load() < 20; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  group.Reap();
  EXPECT_EQ(20, runs.load());
  EXPECT_EQ(0u, group.Count());
}
