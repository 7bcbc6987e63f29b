// Processes: the real Linux processes of the machine, by id, through pidfds.
#include <unistd.h>

#include <algorithm>
#include <cstdint>

#include "platform/sim/process_handle.h"
#include "platform/sim/proc_files.h"

namespace os {

namespace {

// Ids that Windows gives to its Idle and System processes.
constexpr DWORD kIdleProcessId = 0;
constexpr DWORD kSystemProcessId = 4;

// Another user's process opens only for the limited query right, as for a standard user on
// Windows; root opens everything.
bool may_open(const sim::ProcessState& process, DWORD rights) {
  const uid_t self = ::geteuid();
  if (self == 0 || process.owner() == self) return true;
  return (rights & ~PROCESS_QUERY_LIMITED_INFORMATION) == 0;
}

}  // namespace

HANDLE GetCurrentProcess() { return sim::current_process_pseudo_handle(); }

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }

BOOL EnumProcesses(DWORD* ids, DWORD size, DWORD* needed) {
  if (needed == nullptr || (ids == nullptr && size != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto live = sim::list_live_processes();
  const std::size_t count = std::min<std::size_t>(live.size(), size / sizeof(DWORD));
  for (std::size_t i = 0; i < count; ++i) ids[i] = static_cast<DWORD>(live[i]);
  // As on Windows, "needed" is what was written: a full buffer means "ask again with more room".
  *needed = static_cast<DWORD>(count * sizeof(DWORD));
  return TRUE;
}

HANDLE OpenProcess(DWORD access, BOOL, DWORD pid) {
  if (pid == kIdleProcessId) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (pid == kSystemProcessId) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (pid > static_cast<DWORD>(INT32_MAX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  DWORD error = ERROR_SUCCESS;
  auto process = sim::ProcessState::open(static_cast<pid_t>(pid), error);
  if (!process) {
    SetLastError(error);
    return nullptr;
  }
  const DWORD rights = sim::process_rights(access);
  if (!may_open(*process, rights)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return sim::add_handle(std::make_shared<sim::ProcessHandle>(std::move(process), rights));
}

BOOL TerminateProcess(HANDLE process, UINT exit_code) {
  const auto state = sim::process_for(process, PROCESS_TERMINATE, 0);
  if (!state) return FALSE;
  // Ending oneself ends at once, with the exit code as the parent sees it (no clean-up runs, as
  // on Windows).
  if (state->pid() == ::getpid()) ::_exit(static_cast<int>(exit_code));
  if (const DWORD error = state->terminate(exit_code)) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

BOOL GetExitCodeProcess(HANDLE process, DWORD* exit_code) {
  if (exit_code == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto state = sim::process_for(process, 0, sim::kAnyQueryRight);
  if (!state) return FALSE;
  *exit_code = state->exit_code();
  return TRUE;
}

BOOL GetProcessTimes(HANDLE process, FILETIME* creation_time, FILETIME* exit_time, FILETIME* kernel_time, FILETIME* user_time) {
  if (creation_time == nullptr || exit_time == nullptr || kernel_time == nullptr || user_time == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto state = sim::process_for(process, 0, sim::kAnyQueryRight);
  if (!state) return FALSE;
  const sim::ProcessTimes times = state->times();
  *creation_time = times.creation;
  *exit_time = times.exit;
  *kernel_time = times.kernel;
  *user_time = times.user;
  return TRUE;
}

}  // namespace os
