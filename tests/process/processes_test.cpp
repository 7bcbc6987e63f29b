#include "process/processes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "platform/handle.h"
#include "support/background_program.h"
#include "support/sim_root.h"
#include "text/chars.h"
#include "text/format.h"
#include "text/utf.h"

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
const std::string kExe = ".exe";
#else
const std::string kExe = "";
#endif

// A running copy of the test child, under a file name of our choosing.
using Child = testing_support::BackgroundProgram;

bool lists_shell(const std::vector<std::u16string>& users, DWORD pid) {
  for (std::size_t i = 1; i < users.size(); i += 2) {
    if (users[i] == text::format(u"%i", static_cast<int>(pid))) return true;
  }
  return false;
}

}  // namespace

class Processes : public testing_support::FreshHost {
 protected:
  // Copies the test child into the scratch folder as `name`; returns its product path.
  std::u16string copy_child(const std::string& name) {
    const fs::path from = fs::path(VOSTUSB_BIN_DIR) / ("test_child" + kExe);
    const fs::path to = fs::path(native_dir()) / name;
    fs::create_directories(to.parent_path());
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    return win_path(name);
  }

  // Waits until an ended process can no longer be opened: under Wine its object outlives its last
  // handle by a moment.
  static void wait_until_gone(DWORD pid) {
    for (int i = 0; i < 250; ++i) {
      os::unique_handle left(os::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
      if (!left) return;
      os::Sleep(20);
    }
  }

  // Starts `program` so that it gets the id `pid` of a process that has ended; null when the system
  // gave another id at every try. Under Wine a freed id is given again at once; on Linux the id
  // that the next process gets can be set (by root), though another process of the machine may
  // take it first.
  std::unique_ptr<Child> start_on_id(const std::u16string& program, const std::u16string& name, DWORD pid) {
#ifdef _WIN32
    constexpr int kAttempts = 10;
#else
    constexpr int kAttempts = 50;
#endif
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
#ifndef _WIN32
      std::ofstream next("/proc/sys/kernel/ns_last_pid");
      if (!(next << pid - 1 << std::flush)) return nullptr;
#endif
      auto child = std::make_unique<Child>(program, u"60000");
      CProcesses fresh;
      const DWORD got = wait_for(fresh, name);
      if (got == pid) return child;
      child.reset();
      wait_until_gone(got);
    }
    return nullptr;
  }

  // Waits until `pid_by_name` finds the name (processes take a moment to show their image).
  DWORD wait_for(CProcesses& processes, const std::u16string& name) {
    for (int i = 0; i < 200; ++i) {
      if (DWORD pid = processes.pid_by_name(name)) return pid;
      os::Sleep(20);
    }
    return 0;
  }
};

TEST(ProcessImagePath, SpecialIds) {
  EXPECT_EQ(u"Idle", process_image_path(0));
  EXPECT_EQ(u"System", process_image_path(4));
  CProcesses processes;
  EXPECT_EQ(u"System", processes.base_name(4));
}

TEST_F(Processes, OwnProcessIsFoundByItsImage) {
  const DWORD self = os::GetCurrentProcessId();
  const std::u16string own = process_image_path(self);
  ASSERT_FALSE(own.empty());
  CProcesses processes;
  std::vector<unsigned long> ids;
  EXPECT_GT(processes.EnumerateProcesses(ids), 0);
  EXPECT_NE(ids.end(), std::find(ids.begin(), ids.end(), self));
  EXPECT_EQ(std::find(ids.begin(), ids.end(), 0ul), ids.end());
  const std::u16string base = processes.base_name(self);
  EXPECT_EQ(own.substr(own.rfind(u'\\') + 1), base);
  EXPECT_TRUE(is_process_running(text::lower_az(base)));
  EXPECT_FALSE(is_process_running(u"no-such-program-here.exe"));
  EXPECT_FALSE(process_owner(self).empty());
}

TEST_F(Processes, FindOtherInstanceSeesTheFirstCopyOfTheSameImage) {
  const fs::path from = fs::path(VOSTUSB_BIN_DIR) / ("instance_probe" + kExe);
  fs::copy_file(from, fs::path(native_dir()) / ("probe" + kExe));
  const std::u16string program = win_path("probe" + kExe);
  const std::string first_out = native_dir() + "/first.txt";
  const std::string second_out = native_dir() + "/second.txt";
  Child first(program, text::from_utf8("\"" + first_out + "\" 60000"));
  for (int i = 0; i < 250 && testing_support::read_native_file(first_out).empty(); ++i) os::Sleep(20);
  EXPECT_EQ("0", testing_support::read_native_file(first_out));  // the only copy
  CProcesses processes;
  const DWORD first_pid = wait_for(processes, win_path("probe" + kExe).substr(2));
  Child second(program, text::from_utf8("\"" + second_out + "\" 0"));
  for (int i = 0; i < 250 && testing_support::read_native_file(second_out).empty(); ++i) os::Sleep(20);
  EXPECT_EQ(std::to_string(first_pid), testing_support::read_native_file(second_out));
}

TEST_F(Processes, ExplorerCopyIsALoggedOnUser) {
  Child explorer(copy_child("shell/explorer.exe"), u"60000");
  ASSERT_TRUE(explorer.started());
  CProcesses processes;
  const DWORD pid = wait_for(processes, u"EXPLORER.EXE");
  ASSERT_NE(0u, pid);
  std::vector<std::u16string> users;
  const int pairs = processes.logged_on_users(users);
  ASSERT_GE(pairs, 1);
  ASSERT_EQ(static_cast<std::size_t>(pairs) * 2, users.size());
  bool found = false;
  for (std::size_t i = 0; i < users.size(); i += 2) {
    if (users[i + 1] == text::format(u"%i", static_cast<int>(pid))) {
      found = true;
      EXPECT_EQ(process_owner(os::GetCurrentProcessId()), users[i]);
    }
  }
  EXPECT_TRUE(found);
}

TEST_F(Processes, PidByNameFallsBackWhenTheCachedProcessHasEnded) {
  const std::u16string program = copy_child("a/vostusb-probe.exe");
  auto first = std::make_unique<Child>(program, u"60000");
  CProcesses processes;
  const DWORD first_pid = wait_for(processes, u"vostusb-probe.exe");
  ASSERT_NE(0u, first_pid);
  first.reset();  // ended and closed; its id is still in the cache
  wait_until_gone(first_pid);
  EXPECT_EQ(0u, processes.pid_by_name(u"vostusb-probe.exe"));
  Child second(program, u"60000");
  const DWORD second_pid = wait_for(processes, u"vostusb-probe.exe");
  EXPECT_NE(0u, second_pid);
#ifndef _WIN32
  EXPECT_NE(first_pid, second_pid);  // Wine hands out a freed id again at once
#endif
  EXPECT_EQ(second_pid, processes.pid_by_name(u"VOSTUSB-PROBE.EXE"));
}

// A process id is given again once its process has ended: the name read for the old process must
// not be taken for the new one, whichever of the two is the shell.
TEST_F(Processes, AReusedIdIsNotNamedFromTheCache) {
  struct Case {
    const char* first;
    const char* second;
    const char16_t* second_name;
    bool second_is_shell;
  };
  const Case cases[] = {
      {"first/explorer.exe", "second/notepad.exe", u"second\\notepad.exe", false},
      {"third/notepad.exe", "fourth/explorer.exe", u"fourth\\explorer.exe", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.second);
    const std::u16string first_program = copy_child(c.first);
    const std::u16string second_program = copy_child(c.second);
    CProcesses processes;
    auto first = std::make_unique<Child>(first_program, u"60000");
    const std::string first_name = c.first;
    const DWORD pid = wait_for(processes, text::from_utf8(first_name.substr(first_name.find('/') + 1)));
    ASSERT_NE(0u, pid);
    std::vector<std::u16string> users;
    processes.logged_on_users(users);
    ASSERT_TRUE(processes.has_cached_name(pid));
    first.reset();
    wait_until_gone(pid);

    auto second = start_on_id(second_program, c.second_name, pid);
    if (!second) GTEST_SKIP() << "the system did not give id " << pid << " again";
    const std::u16string second_name = c.second_name;
    EXPECT_EQ(second_name.substr(second_name.find(u'\\') + 1), processes.base_name(pid));
    processes.logged_on_users(users);
    EXPECT_EQ(c.second_is_shell, lists_shell(users, pid));
    second.reset();
    wait_until_gone(pid);
  }
}

TEST_F(Processes, AnEndedShellLeavesTheUsersAndTheCache) {
  auto explorer = std::make_unique<Child>(copy_child("gone/explorer.exe"), u"60000");
  CProcesses processes;
  const DWORD pid = wait_for(processes, u"gone\\explorer.exe");
  ASSERT_NE(0u, pid);
  std::vector<std::u16string> users;
  processes.logged_on_users(users);
  EXPECT_TRUE(lists_shell(users, pid));
  EXPECT_TRUE(processes.has_cached_name(pid));
  explorer.reset();
  wait_until_gone(pid);
  processes.logged_on_users(users);
  EXPECT_FALSE(lists_shell(users, pid));
  EXPECT_FALSE(processes.has_cached_name(pid)) << "a name of an ended process is not kept";
}

// A warm cache answers as a fresh look-up does, also from several threads at once (the device
// decisions and a reload share one).
TEST_F(Processes, CachedUsersEqualAFreshLookup) {
  Child one(copy_child("one/explorer.exe"), u"60000");
  Child two(copy_child("two/explorer.exe"), u"60000");
  CProcesses finder;
  ASSERT_NE(0u, wait_for(finder, u"one\\explorer.exe"));
  ASSERT_NE(0u, wait_for(finder, u"two\\explorer.exe"));
  std::vector<std::u16string> fresh;
  const int pairs = CProcesses().logged_on_users(fresh);
  ASSERT_GE(pairs, 2);

  CProcesses warm;
  std::vector<std::u16string> first;
  EXPECT_EQ(pairs, warm.logged_on_users(first));
  EXPECT_EQ(fresh, first);
  std::vector<std::vector<std::u16string>> seen(4);
  std::vector<std::thread> threads;
  for (auto& users : seen) {
    threads.emplace_back([&warm, &users] {
      for (int i = 0; i < 5; ++i) warm.logged_on_users(users);
    });
  }
  for (auto& thread : threads) thread.join();
  for (const auto& users : seen) EXPECT_EQ(fresh, users);
  std::vector<std::u16string> shared;
  EXPECT_EQ(pairs, shared_logged_on_users(shared));
  EXPECT_EQ(fresh, shared);
}

TEST_F(Processes, RunProgramWaitsForItsChild) {
  const std::u16string program = copy_child("bin/waiter.exe");
  const auto before = std::chrono::steady_clock::now();
  EXPECT_TRUE(run_program(program, u"400", true, false));
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(380));
  EXPECT_FALSE(is_process_running(u"waiter.exe"));
  // Without waiting it returns at once.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(run_program(program, u"300", false, false));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(280));
  EXPECT_FALSE(run_program(win_path("bin\\missing.exe"), u"", true, false));
}

TEST_F(Processes, EndedProcessGivesEmptyAnswers) {
  auto child = std::make_unique<Child>(copy_child("gone.exe"), u"60000");
  CProcesses processes;
  const DWORD pid = wait_for(processes, u"gone.exe");
  ASSERT_NE(0u, pid);
  child.reset();  // ended, and no handle keeps its process object
  wait_until_gone(pid);
  EXPECT_EQ(u"", process_image_path(pid));
  EXPECT_EQ(u"", process_owner(pid));
  EXPECT_EQ(u"<unknown>", CProcesses().base_name(pid));
}
