// Processes of the machine: enumeration, image paths, owners, waits, exit codes and access.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

#include "child_process.h"
#include "platform/handle.h"
#include "platform/os.h"
#include "support/sim_root.h"
#include "text/chars.h"
#include "text/utf.h"

#ifndef _WIN32
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using platform_test::shell_execute;
using platform_test::Started;

std::vector<DWORD> process_ids() {
  std::vector<DWORD> ids(1024);
  for (;;) {
    DWORD needed = 0;
    if (!os::EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &needed)) return {};
    if (needed < ids.size() * sizeof(DWORD)) {
      ids.resize(needed / sizeof(DWORD));
      return ids;
    }
    ids.resize(ids.size() * 2);
  }
}

bool is_listed(DWORD pid) {
  const auto ids = process_ids();
  return std::find(ids.begin(), ids.end(), pid) != ids.end();
}

// The snapshot entry of a process, if the snapshot has one.
std::optional<os::PROCESSENTRY32W> snapshot_entry(DWORD pid) {
  os::unique_hfile snapshot(os::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return std::nullopt;
  os::PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = os::Process32FirstW(snapshot.get(), &entry); more; more = os::Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == pid) return entry;
  }
  return std::nullopt;
}

std::u16string module_path(HANDLE process) {
  char16_t buffer[MAX_PATH] = {};
  const DWORD length = os::GetModuleFileNameExW(process, nullptr, buffer, MAX_PATH);
  return std::u16string(buffer, length);
}

std::u16string image_name(HANDLE process) {
  char16_t buffer[2048] = {};
  DWORD size = 2048;
  if (!os::QueryFullProcessImageNameW(process, 0, buffer, &size)) return u"";
  return std::u16string(buffer, size);
}

std::u16string user_name() {
  char16_t buffer[256] = {};
  DWORD size = 256;
  if (!os::GetUserNameW(buffer, &size)) return u"";
  return buffer;
}

// The owner of a process through its token, as "DOMAIN\user".
std::u16string owner_of(HANDLE process) {
  os::unique_handle token;
  if (!os::OpenProcessToken(process, TOKEN_QUERY, token.put())) return u"";
  std::vector<BYTE> info(2048);
  DWORD needed = 0;
  if (!os::GetTokenInformation(token.get(), TokenUser, info.data(), static_cast<DWORD>(info.size()), &needed)) {
    return u"";
  }
  const auto* user = reinterpret_cast<const TOKEN_USER*>(info.data());
  char16_t name[256] = {}, domain[256] = {};
  DWORD name_size = 256, domain_size = 256;
  SID_NAME_USE use{};
  if (!os::LookupAccountSidW(nullptr, user->User.Sid, name, &name_size, domain, &domain_size, &use)) return u"";
  return std::u16string(domain) + u"\\" + name;
}

class Processes : public platform_test::HelperHost {
 protected:
  // Starts a copy of probe_child named `name` in the scratch folder; it reports to `report`.
  Started start_copy(const std::string& name, const std::string& exit_code, const std::string& linger_ms) {
    platform_test::copy_helper("probe_child", native_dir(), name);
    return shell_execute(win_path(name), text::from_utf8("\"" + report_path() + "\" " + exit_code + " " + linger_ms));
  }
  std::string report_path() const { return native_dir() + "/report.txt"; }
};

TEST_F(Processes, AnExplorerCopyIsFoundWithItsNamePathAndOwner) {
  auto explorer = start_copy("explorer.exe", "0", "60000");
  ASSERT_TRUE(explorer.ok) << explorer.error;
  const auto report = platform_test::wait_for_report(report_path());
  ASSERT_TRUE(report.found);
  const DWORD pid = report.pid;

  EXPECT_TRUE(is_listed(pid));
  const auto entry = snapshot_entry(pid);
  ASSERT_TRUE(entry);
  EXPECT_TRUE(text::equals_nocase(u"explorer.exe", entry->szExeFile)) << text::to_utf8(entry->szExeFile);

  os::unique_handle process(os::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  ASSERT_TRUE(process) << os::GetLastError();
  const std::u16string expected = win_path("explorer.exe");
  EXPECT_TRUE(text::equals_nocase(expected, module_path(process.get()))) << text::to_utf8(module_path(process.get()));
  EXPECT_TRUE(text::equals_nocase(expected, image_name(process.get())));

  HMODULE modules[4] = {};
  DWORD needed = 0;
  ASSERT_TRUE(os::EnumProcessModules(process.get(), modules, sizeof(HMODULE), &needed));
  EXPECT_GE(needed, sizeof(HMODULE));
  char16_t base[MAX_PATH] = {};
  const DWORD base_length = os::GetModuleBaseNameW(process.get(), modules[0], base, MAX_PATH);
  EXPECT_TRUE(text::equals_nocase(u"explorer.exe", std::u16string(base, base_length)));
  char16_t by_module[MAX_PATH] = {};
  const DWORD by_module_length = os::GetModuleFileNameExW(process.get(), modules[0], by_module, MAX_PATH);
  EXPECT_TRUE(text::equals_nocase(expected, std::u16string(by_module, by_module_length)));

  const std::u16string owner = owner_of(process.get());
  ASSERT_FALSE(owner.empty());
  EXPECT_EQ(user_name(), owner.substr(owner.find(u'\\') + 1));

  DWORD code = 0;
  ASSERT_TRUE(os::GetExitCodeProcess(process.get(), &code));
  EXPECT_EQ(DWORD{STILL_ACTIVE}, code);
  EXPECT_EQ(DWORD{WAIT_TIMEOUT}, os::WaitForSingleObject(explorer.process.get(), 0));
}

TEST_F(Processes, AWaitEndsWithTheProcessAndGivesItsExitCode) {
  auto child = start_copy("short.exe", "7", "300");
  ASSERT_TRUE(child.ok) << child.error;
  const auto report = platform_test::wait_for_report(report_path());
  ASSERT_TRUE(report.found);
  ASSERT_EQ(DWORD{WAIT_OBJECT_0}, os::WaitForSingleObject(child.process.get(), 10000));
  EXPECT_EQ(DWORD{WAIT_OBJECT_0}, os::WaitForSingleObject(child.process.get(), 0));  // it stays signalled
  DWORD code = 0;
  ASSERT_TRUE(os::GetExitCodeProcess(child.process.get(), &code));
  EXPECT_EQ(7u, code);

#ifndef _WIN32
  // Gone with its last handle. (Wine hands an id out again at once, so this holds on Linux only.)
  child.process.reset();
  EXPECT_EQ(nullptr, os::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, report.pid));
  EXPECT_EQ(DWORD{ERROR_INVALID_PARAMETER}, os::GetLastError());
  EXPECT_FALSE(is_listed(report.pid));
#endif
}

std::uint64_t steps_of(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The start time tells processes apart: a process started later has a later one; every call gives
// the same, also after the end, which comes no earlier.
TEST_F(Processes, TimesTellWhenAProcessStartedAndEnded) {
  FILETIME own{}, own_again{}, exit{}, kernel{}, user{};
  ASSERT_TRUE(os::GetProcessTimes(os::GetCurrentProcess(), &own, &exit, &kernel, &user));
  os::Sleep(50);  // more than the simulated host's steps of 10 ms
  auto child = start_copy("timed.exe", "0", "200");
  ASSERT_TRUE(child.ok) << child.error;
  FILETIME created{}, created_again{};
  ASSERT_TRUE(os::GetProcessTimes(child.process.get(), &created, &exit, &kernel, &user));
  EXPECT_GT(steps_of(created), steps_of(own));
  ASSERT_EQ(DWORD{WAIT_OBJECT_0}, os::WaitForSingleObject(child.process.get(), 10000));
  ASSERT_TRUE(os::GetProcessTimes(child.process.get(), &created_again, &exit, &kernel, &user));
  EXPECT_EQ(steps_of(created), steps_of(created_again));
  EXPECT_GE(steps_of(exit), steps_of(created));
  ASSERT_TRUE(os::GetProcessTimes(os::GetCurrentProcess(), &own_again, &exit, &kernel, &user));
  EXPECT_EQ(steps_of(own), steps_of(own_again));
  // CPU time comes in steps of 10 ms on the simulated host: work until at least one has passed.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  volatile unsigned work = 0;
  while (steps_of(kernel) + steps_of(user) == 0 && std::chrono::steady_clock::now() < deadline) {
    for (unsigned i = 0; i < 1000000; ++i) work = work + i;
    ASSERT_TRUE(os::GetProcessTimes(os::GetCurrentProcess(), &own_again, &exit, &kernel, &user));
  }
  EXPECT_GT(steps_of(kernel) + steps_of(user), 0u) << "this process has worked for a while";
}

TEST_F(Processes, TerminatingThroughOneHandleIsSeenThroughAnother) {
  auto child = start_copy("victim.exe", "0", "60000");
  ASSERT_TRUE(child.ok) << child.error;
  const auto report = platform_test::wait_for_report(report_path());
  ASSERT_TRUE(report.found);
  os::unique_handle second(
      os::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, report.pid));
  ASSERT_TRUE(second);
  ASSERT_TRUE(os::TerminateProcess(second.get(), 9));
  ASSERT_EQ(DWORD{WAIT_OBJECT_0}, os::WaitForSingleObject(child.process.get(), 5000));
  ASSERT_EQ(DWORD{WAIT_OBJECT_0}, os::WaitForSingleObject(second.get(), 5000));
  DWORD code = 0;
  ASSERT_TRUE(os::GetExitCodeProcess(child.process.get(), &code));
  EXPECT_EQ(9u, code);
  ASSERT_TRUE(os::GetExitCodeProcess(second.get(), &code));
  EXPECT_EQ(9u, code);
#ifndef _WIN32
  // Windows refuses to end an ended process (ERROR_ACCESS_DENIED); Wine does not.
  EXPECT_FALSE(os::TerminateProcess(second.get(), 1));
  EXPECT_EQ(DWORD{ERROR_ACCESS_DENIED}, os::GetLastError());
#endif
}

TEST_F(Processes, AHandleAllowsOnlyTheRightsItWasOpenedWith) {
  auto child = start_copy("limited.exe", "0", "60000");
  ASSERT_TRUE(child.ok) << child.error;
  const auto report = platform_test::wait_for_report(report_path());
  ASSERT_TRUE(report.found);
  os::unique_handle limited(os::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, report.pid));
  ASSERT_TRUE(limited);
  EXPECT_TRUE(text::equals_nocase(win_path("limited.exe"), image_name(limited.get())));
  EXPECT_EQ(DWORD{WAIT_FAILED}, os::WaitForSingleObject(limited.get(), 0));
  EXPECT_EQ(DWORD{ERROR_ACCESS_DENIED}, os::GetLastError());
  EXPECT_EQ(0u, os::GetModuleFileNameExW(limited.get(), nullptr, std::vector<char16_t>(MAX_PATH).data(), MAX_PATH));
  EXPECT_EQ(DWORD{ERROR_ACCESS_DENIED}, os::GetLastError());
  EXPECT_FALSE(os::TerminateProcess(limited.get(), 1));
  EXPECT_EQ(DWORD{ERROR_ACCESS_DENIED}, os::GetLastError());
}

TEST_F(Processes, TheCurrentProcess) {
  HANDLE self = os::GetCurrentProcess();
  char16_t own[MAX_PATH] = {};
  const DWORD own_length = os::GetModuleFileNameW(nullptr, own, MAX_PATH);
  ASSERT_GT(own_length, 0u);
  EXPECT_TRUE(text::equals_nocase(std::u16string(own, own_length), module_path(self)));
  EXPECT_TRUE(text::equals_nocase(std::u16string(own, own_length), image_name(self)));
  EXPECT_TRUE(is_listed(os::GetCurrentProcessId()));
  const std::u16string owner = owner_of(self);
  EXPECT_EQ(user_name(), owner.substr(owner.find(u'\\') + 1));
  DWORD code = 0;
  ASSERT_TRUE(os::GetExitCodeProcess(self, &code));
  EXPECT_EQ(DWORD{STILL_ACTIVE}, code);
  EXPECT_EQ(DWORD{WAIT_TIMEOUT}, os::WaitForSingleObject(self, 10));
}

TEST_F(Processes, LookupsRaceWithProcessesThatEnd) {
  // Processes start and end while every id is looked up: each call either answers or fails with
  // an error code, and nothing crashes.
  platform_test::copy_helper("probe_child", native_dir(), "brief.exe");
  std::atomic<bool> done{false};
  std::thread starter([&] {
    for (int i = 0; i < 15; ++i) {
      const std::string report = native_dir() + "/brief-" + std::to_string(i) + ".txt";
      shell_execute(win_path("brief.exe"), text::from_utf8("\"" + report + "\" 0 0"), u"", 0);
    }
    done = true;
  });
  int failures_without_code = 0;
  while (!done) {
    for (const DWORD pid : process_ids()) {
      os::unique_handle process(os::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
      if (!process) {
        if (os::GetLastError() == 0) ++failures_without_code;
        continue;
      }
      char16_t buffer[MAX_PATH];
      if (os::GetModuleFileNameExW(process.get(), nullptr, buffer, MAX_PATH) == 0 && os::GetLastError() == 0) {
        ++failures_without_code;
      }
      image_name(process.get());
      owner_of(process.get());
    }
    snapshot_entry(0);
  }
  starter.join();
  EXPECT_EQ(0, failures_without_code);
  // The brief processes end by themselves; their reports are waited for so that none is still
  // being written while the scratch folder is removed.
  for (int i = 0; i < 15; ++i) platform_test::wait_for_report(native_dir() + "/brief-" + std::to_string(i) + ".txt");
}

TEST(ProcessIds, IdsWithoutAProcess) {
  EXPECT_EQ(nullptr, os::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, 0));  // Idle
  EXPECT_EQ(DWORD{ERROR_INVALID_PARAMETER}, os::GetLastError());
  EXPECT_EQ(nullptr, os::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, 0x7FFFFFF0));
  EXPECT_EQ(DWORD{ERROR_INVALID_PARAMETER}, os::GetLastError());
}

TEST(ProcessIds, EnumerationWritesWhatFitsAndSaysSo) {
  DWORD one = 0;
  DWORD needed = 0;
  ASSERT_TRUE(os::EnumProcesses(&one, sizeof one, &needed));
  EXPECT_EQ(sizeof(DWORD), needed);  // a full buffer: the caller asks again with more room
  const auto all = process_ids();
  EXPECT_GT(all.size(), 1u);
  EXPECT_NE(all.end(), std::find(all.begin(), all.end(), os::GetCurrentProcessId()));
}

TEST(Snapshots, EntriesNeedTheirSizeAndEndWithNoMoreFiles) {
  os::unique_hfile snapshot(os::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  ASSERT_TRUE(snapshot);
  os::PROCESSENTRY32W entry{};
  entry.dwSize = 0;
  EXPECT_FALSE(os::Process32FirstW(snapshot.get(), &entry));
#ifndef _WIN32
  EXPECT_EQ(DWORD{ERROR_BAD_LENGTH}, os::GetLastError());  // Windows' code; Wine gives another
#endif
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = os::Process32FirstW(snapshot.get(), &entry); more; more = os::Process32NextW(snapshot.get(), &entry)) {
    ++count;
  }
  EXPECT_EQ(DWORD{ERROR_NO_MORE_FILES}, os::GetLastError());
  EXPECT_GT(count, 1);
  const auto self = snapshot_entry(os::GetCurrentProcessId());
  ASSERT_TRUE(self);
  char16_t own[MAX_PATH] = {};
  const std::u16string own_path(own, os::GetModuleFileNameW(nullptr, own, MAX_PATH));
  EXPECT_TRUE(text::equals_nocase(own_path.substr(own_path.rfind(u'\\') + 1), self->szExeFile));
}

TEST(Users, NamesAndTheirSizes) {
  DWORD size = 0;
  EXPECT_FALSE(os::GetUserNameW(nullptr, &size));
  EXPECT_EQ(DWORD{ERROR_INSUFFICIENT_BUFFER}, os::GetLastError());
  ASSERT_GT(size, 1u);
  std::vector<char16_t> buffer(size);
  DWORD exact = size;
  ASSERT_TRUE(os::GetUserNameW(buffer.data(), &exact));
  EXPECT_EQ(size, exact);  // the terminator counts
  EXPECT_EQ(size - 1, std::u16string(buffer.data()).size());

  os::unique_handle token;
  ASSERT_TRUE(os::OpenProcessToken(os::GetCurrentProcess(), TOKEN_QUERY, token.put()));
  DWORD needed = 0;
  EXPECT_FALSE(os::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &needed));
  EXPECT_EQ(DWORD{ERROR_INSUFFICIENT_BUFFER}, os::GetLastError());
  ASSERT_GT(needed, sizeof(TOKEN_USER));
  std::vector<BYTE> info(needed);
  ASSERT_TRUE(os::GetTokenInformation(token.get(), TokenUser, info.data(), needed, &needed));
  PSID sid = reinterpret_cast<const TOKEN_USER*>(info.data())->User.Sid;

  DWORD name_size = 0, domain_size = 0;
  SID_NAME_USE use{};
  EXPECT_FALSE(os::LookupAccountSidW(nullptr, sid, nullptr, &name_size, nullptr, &domain_size, &use));
  EXPECT_EQ(DWORD{ERROR_INSUFFICIENT_BUFFER}, os::GetLastError());
  EXPECT_EQ(size, name_size);
  ASSERT_GT(domain_size, 1u);
  std::vector<char16_t> name(name_size), domain(domain_size);
  ASSERT_TRUE(os::LookupAccountSidW(nullptr, sid, name.data(), &name_size, domain.data(), &domain_size, &use));
  EXPECT_EQ(size - 1, name_size);  // on success without the terminator
  EXPECT_EQ(std::u16string(buffer.data()), std::u16string(name.data()));
  EXPECT_EQ(domain.size() - 1, domain_size);
  EXPECT_EQ(SidTypeUser, use);
}

#ifndef _WIN32

TEST(ProcessTimes, MissingPlacesAndAHandleWithoutRights) {
  FILETIME created{}, exit{}, kernel{}, user{};
  EXPECT_FALSE(os::GetProcessTimes(os::GetCurrentProcess(), &created, nullptr, &kernel, &user));
  EXPECT_EQ(DWORD{ERROR_INVALID_PARAMETER}, os::GetLastError());
  os::unique_handle synchronize_only(os::OpenProcess(SYNCHRONIZE, FALSE, os::GetCurrentProcessId()));
  ASSERT_TRUE(synchronize_only);
  EXPECT_FALSE(os::GetProcessTimes(synchronize_only.get(), &created, &exit, &kernel, &user));
  EXPECT_EQ(DWORD{ERROR_ACCESS_DENIED}, os::GetLastError());
}

TEST_F(Processes, AnEndedProcessGivesCleanFailures) {
  auto child = start_copy("ended.exe", "0", "60000");
  ASSERT_TRUE(child.ok) << child.error;
  ASSERT_TRUE(platform_test::wait_for_report(report_path()).found);
  ASSERT_TRUE(os::TerminateProcess(child.process.get(), 3));
  ASSERT_EQ(DWORD{WAIT_OBJECT_0}, os::WaitForSingleObject(child.process.get(), 5000));

  char16_t buffer[MAX_PATH];
  EXPECT_EQ(0u, os::GetModuleFileNameExW(child.process.get(), nullptr, buffer, MAX_PATH));
  EXPECT_EQ(DWORD{ERROR_PARTIAL_COPY}, os::GetLastError());
  EXPECT_EQ(0u, os::GetModuleBaseNameW(child.process.get(), nullptr, buffer, MAX_PATH));
  HMODULE module = nullptr;
  DWORD needed = 0;
  EXPECT_FALSE(os::EnumProcessModules(child.process.get(), &module, sizeof module, &needed));
  // What Windows keeps with the process object stays readable: its image and its user.
  EXPECT_EQ(win_path("ended.exe"), image_name(child.process.get()));
  EXPECT_FALSE(owner_of(child.process.get()).empty());
  EXPECT_FALSE(os::TerminateProcess(child.process.get(), 1));
  EXPECT_EQ(DWORD{ERROR_ACCESS_DENIED}, os::GetLastError());
}

TEST(ProcessIds, SystemIsNotOpened) {
  EXPECT_EQ(nullptr, os::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, 4));
  EXPECT_EQ(DWORD{ERROR_ACCESS_DENIED}, os::GetLastError());
}

TEST(ProcessIds, ZombiesAreNotProcesses) {
  const pid_t zombie = ::fork();
  if (zombie == 0) ::_exit(0);
  ASSERT_GT(zombie, 0);
  siginfo_t info{};
  ASSERT_EQ(0, ::waitid(P_PID, static_cast<id_t>(zombie), &info, WEXITED | WNOWAIT));  // ended, not reaped
  EXPECT_FALSE(is_listed(static_cast<DWORD>(zombie)));
  EXPECT_FALSE(snapshot_entry(static_cast<DWORD>(zombie)));
  EXPECT_EQ(nullptr, os::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(zombie)));
  EXPECT_EQ(DWORD{ERROR_INVALID_PARAMETER}, os::GetLastError());
  ::waitpid(zombie, nullptr, 0);
}

bool process_is_gone(DWORD pid) {
  for (int i = 0; i < 250; ++i) {
    if (!std::filesystem::exists("/proc/" + std::to_string(pid))) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

TEST_F(Processes, ChildrenLeaveNoZombies) {
  // Waited on and closed.
  {
    auto child = start_copy("waited.exe", "0", "0");
    ASSERT_TRUE(child.ok);
    const auto report = platform_test::wait_for_report(report_path());
    ASSERT_TRUE(report.found);
    ASSERT_EQ(DWORD{WAIT_OBJECT_0}, os::WaitForSingleObject(child.process.get(), 5000));
    EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(report.pid)));
  }
  std::filesystem::remove(report_path());
  // Started without a handle for the caller.
  {
    platform_test::copy_helper("probe_child", native_dir(), "unwatched.exe");
    auto child = shell_execute(win_path("unwatched.exe"), text::from_utf8("\"" + report_path() + "\" 0 100"), u"", 0);
    ASSERT_TRUE(child.ok);
    EXPECT_FALSE(child.process);
    const auto report = platform_test::wait_for_report(report_path());
    ASSERT_TRUE(report.found);
    EXPECT_TRUE(process_is_gone(report.pid));
  }
  std::filesystem::remove(report_path());
  // Its handle closed while it runs, then killed from elsewhere.
  {
    auto child = start_copy("closed.exe", "0", "60000");
    ASSERT_TRUE(child.ok);
    const auto report = platform_test::wait_for_report(report_path());
    ASSERT_TRUE(report.found);
    child.process.reset();
    ASSERT_EQ(0, ::kill(static_cast<pid_t>(report.pid), SIGKILL));
    EXPECT_TRUE(process_is_gone(report.pid));
  }
}

TEST_F(Processes, AnotherUsersProcessOpensOnlyForLimitedQueries) {
  if (!platform_test::standard_user_available()) GTEST_SKIP() << "needs root and the user nobody";
  const DWORD parent = os::GetCurrentProcessId();
  EXPECT_EQ(0, platform_test::exit_status_as_standard_user([parent] {
    if (os::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, parent) != nullptr) return 11;
    if (os::GetLastError() != ERROR_ACCESS_DENIED) return 12;
    HANDLE limited = os::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parent);
    if (limited == nullptr) return 13;
    char16_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    if (os::QueryFullProcessImageNameW(limited, 0, path, &size) || os::GetLastError() != ERROR_ACCESS_DENIED) return 14;
    HANDLE token = nullptr;
    if (os::OpenProcessToken(limited, TOKEN_QUERY, &token) || os::GetLastError() != ERROR_ACCESS_DENIED) return 15;
    const auto entry = snapshot_entry(parent);  // named by the kernel's short name instead
    if (!entry || entry->szExeFile[0] == u'\0') return 16;
    return 0;
  }));
}

TEST(Snapshots, ASnapshotCannotBeWaitedOn) {
  os::unique_hfile snapshot(os::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  ASSERT_TRUE(snapshot);
  EXPECT_EQ(DWORD{WAIT_FAILED}, os::WaitForSingleObject(snapshot.get(), 0));
  EXPECT_EQ(DWORD{ERROR_INVALID_HANDLE}, os::GetLastError());
}

// Windows never changes a running process's image; a Linux process may execute another program
// (the tests' helper that becomes a standard user does). Handles, those of this process's own
// children included, then show the program that runs now.
TEST_F(Processes, AProcessThatExecutesAnotherProgramShowsTheNewImage) {
  auto child = shell_execute(u"Z:\\bin\\sh", u"-c \"sleep 0.5; exec sleep 30\"");
  ASSERT_TRUE(child.ok) << child.error;
  const auto image_of = [&] { return image_name(child.process.get()); };
  bool switched = false;
  for (int i = 0; i < 100 && !switched; ++i) {
    const std::u16string image = image_of();
    switched = image.size() > 6 && image.substr(image.size() - 6) == u"\\sleep";
    if (!switched) os::Sleep(50);
  }
  EXPECT_TRUE(switched) << text::to_utf8(image_of());
  EXPECT_EQ(image_of(), module_path(child.process.get()));
}

TEST(Users, TheUserIsTheEffectiveLinuxUser) {
  const passwd* self = ::getpwuid(::geteuid());
  ASSERT_NE(nullptr, self);
  EXPECT_EQ(text::from_utf8(self->pw_name), user_name());
}

#endif

}  // namespace
