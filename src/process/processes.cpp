#include "process/processes.h"

#include <algorithm>
#include <optional>

#include "platform/handle.h"
#include "process/diagnostics.h"
#include "text/chars.h"
#include "text/format.h"

namespace {

constexpr DWORD kSystemPid = 4;
constexpr DWORD kIdlePid = 0;
const std::u16string kUnknown = u"<unknown>";
// A process whose name could not be read, and still cannot a second later, has none for its life
// (a kernel thread, a protected process): its name is not tried again at each look-up.
constexpr DWORD kFailureSettles = 1000;

// Opens a process for reading its image, trying weaker rights one after the other.
os::unique_handle open_for_query(DWORD pid) {
  for (DWORD access : {PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ,
                       PROCESS_QUERY_LIMITED_INFORMATION}) {
    os::unique_handle process(os::OpenProcess(access, FALSE, pid));
    if (process) return process;
  }
  return os::unique_handle();
}

// QueryFullProcessImageNameW with 2048 characters; "<unknown>" when it gives nothing or fills the
// whole buffer.
std::u16string full_image_name(HANDLE process) {
  constexpr DWORD kChars = 2048;
  std::u16string buffer(kChars, u'\0');
  DWORD size = kChars;
  if (!os::QueryFullProcessImageNameW(process, 0, buffer.data(), &size) || size == 0 || size >= kChars) return kUnknown;
  buffer.resize(size);
  return buffer;
}

std::u16string snapshot_file_name(DWORD pid) {
  os::unique_hfile snapshot(os::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return u"";
  os::PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = os::Process32FirstW(snapshot.get(), &entry); more; more = os::Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == pid) return entry.szExeFile;
  }
  return u"";
}

// The start time of the process as 100-nanosecond steps, or 0 when it cannot be read.
std::uint64_t start_time(HANDLE process) {
  FILETIME creation{};
  FILETIME exit{};
  FILETIME kernel{};
  FILETIME user{};
  if (!os::GetProcessTimes(process, &creation, &exit, &kernel, &user)) return 0;
  return (static_cast<std::uint64_t>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime;
}

std::u16string after_last_backslash(const std::u16string& path) {
  const std::size_t last = path.rfind(u'\\');
  return last == std::u16string::npos ? path : path.substr(last + 1);
}

// The base name of the process's first module, else of its full image path, else "<unknown>";
// `started` is read through the same handle, so it belongs to the process that was named (0 when
// the process does not open).
std::u16string read_base_name(DWORD pid, std::uint64_t& started) {
  started = 0;
  os::unique_handle process = open_for_query(pid);
  if (!process) return kUnknown;
  started = start_time(process.get());
  HMODULE module = nullptr;
  DWORD needed = 0;
  char16_t buffer[MAX_PATH] = {};
  DWORD length = 0;
  if (os::EnumProcessModules(process.get(), &module, sizeof module, &needed)) {
    length = os::GetModuleBaseNameW(process.get(), module, buffer, MAX_PATH);
  }
  if (length > 0) return std::u16string(buffer, length);
  const std::u16string full = full_image_name(process.get());
  return full == kUnknown ? kUnknown : after_last_backslash(full);
}

}  // namespace

std::u16string process_image_path(DWORD pid) {
  if (pid == kSystemPid) return u"System";
  if (pid == kIdlePid) return u"Idle";
  std::u16string path;
  if (os::unique_handle process = open_for_query(pid)) {
    char16_t buffer[MAX_PATH] = {};
    const DWORD length = os::GetModuleFileNameExW(process.get(), nullptr, buffer, MAX_PATH);
    path = length > 0 ? std::u16string(buffer, length) : full_image_name(process.get());
  }
  if (path.empty()) path = snapshot_file_name(pid);
  return path;
}

std::u16string process_owner(DWORD pid) {
  os::unique_handle process = open_for_query(pid);
  if (!process) return u"";
  os::unique_handle token;
  if (!os::OpenProcessToken(process.get(), TOKEN_QUERY, token.put())) {
    token.release();
    return u"";
  }
  alignas(8) BYTE info[2048];
  DWORD needed = 0;
  if (!os::GetTokenInformation(token.get(), TokenUser, info, sizeof info, &needed)) return u"";
  const auto* user = reinterpret_cast<const TOKEN_USER*>(info);
  constexpr DWORD kChars = 1024;
  char16_t name[kChars] = {};
  char16_t domain[kChars] = {};
  DWORD name_size = kChars;
  DWORD domain_size = kChars;
  SID_NAME_USE use{};
  if (!os::LookupAccountSidW(nullptr, user->User.Sid, name, &name_size, domain, &domain_size, &use)) return u"";
  return name;
}

bool is_process_running(std::u16string_view name) {
  const std::u16string wanted = text::lower_az(name);
  CProcesses processes;
  std::vector<unsigned long> ids;
  processes.EnumerateProcesses(ids);
  for (unsigned long pid : ids) {
    if (text::lower_az(process_image_path(pid)).find(wanted) != std::u16string::npos) return true;
  }
  return false;
}

DWORD find_other_instance() {
  const DWORD self = os::GetCurrentProcessId();
  const std::u16string own_path = text::lower_az(process_image_path(self));
  if (own_path.empty()) return 0;
  CProcesses processes;
  std::vector<unsigned long> ids;
  processes.EnumerateProcesses(ids);
  for (unsigned long pid : ids) {
    if (pid != self && text::lower_az(process_image_path(pid)) == own_path) return pid;
  }
  return 0;
}

BOOL run_program(std::u16string_view file, std::u16string_view parameters, bool wait, bool show) {
  const std::u16string program(file);
  const std::u16string arguments(parameters);
  const std::size_t last = program.rfind(u'\\');
  const std::u16string folder = last == std::u16string::npos ? std::u16string() : program.substr(0, last);

  os::SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = u"open";
  info.lpFile = program.c_str();
  info.lpParameters = arguments.c_str();
  info.lpDirectory = folder.c_str();
  info.nShow = show ? SW_SHOWNORMAL : SW_HIDE;
  const BOOL started = os::ShellExecuteExW(&info);
  os::unique_handle process(info.hProcess);
  if (started && wait && process) {
    constexpr DWORD kStep = 100;
    constexpr DWORD kLimit = 1800000;
    for (DWORD waited = 0; waited < kLimit; waited += kStep) {
      if (os::WaitForSingleObject(process.get(), kStep) != WAIT_TIMEOUT) break;
      MSG msg{};
      while (os::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        os::TranslateMessage(&msg);
        os::DispatchMessageW(&msg);
      }
    }
  }
  return started;
}

int CProcesses::EnumerateProcesses(std::vector<unsigned long>& ids) {
  ids.clear();
  constexpr DWORD kMaxIds = 1024;
  DWORD buffer[kMaxIds] = {};
  DWORD needed = 0;
  if (!os::EnumProcesses(buffer, sizeof buffer, &needed)) {
    ODS(u"GetLastError=%i", static_cast<int>(os::GetLastError()));
    return 0;
  }
  const DWORD count = needed / sizeof(DWORD);
  for (DWORD i = 0; i < count; ++i) {
    if (buffer[i] != 0) ids.push_back(buffer[i]);
  }
  return static_cast<int>(count);
}

std::u16string CProcesses::base_name(DWORD pid) {
  if (pid == kSystemPid) return u"System";
  // The limited right suffices to tell which process holds the id now.
  os::unique_handle holder(os::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  const std::uint64_t holder_started = holder ? start_time(holder.get()) : 0;
  holder.reset();
  if (std::optional<std::u16string> known = cached_name(pid, holder_started)) return *known;

  std::uint64_t started = 0;
  const std::u16string name = read_base_name(pid, started);
  std::lock_guard guard(lock);
  if (name != kUnknown && started != 0) {
    name_cache[pid] = NamedProcess{started, name};
    unnamed.erase(pid);
  } else if (holder_started != 0) {
    const DWORD now = os::GetTickCount();
    auto [failure, first] = unnamed.try_emplace(pid, Unnamed{holder_started, now, false});
    if (!first) failure->second.settled = now - failure->second.first_failed >= kFailureSettles;
  }
  return name;
}

std::optional<std::u16string> CProcesses::cached_name(DWORD pid, std::uint64_t started) {
  std::lock_guard guard(lock);
  if (auto cached = name_cache.find(pid); cached != name_cache.end()) {
    if (started != 0 && cached->second.started == started) return cached->second.name;
    name_cache.erase(cached);  // its process has ended
  }
  if (auto failure = unnamed.find(pid); failure != unnamed.end()) {
    if (started == 0 || failure->second.started != started) {
      unnamed.erase(failure);
    } else if (failure->second.settled) {
      return kUnknown;
    }
  }
  return std::nullopt;
}

DWORD CProcesses::pid_by_name(std::u16string_view name) {
  const std::u16string wanted = text::lower_az(name);
  auto cached = pid_cache.find(wanted);
  if (cached != pid_cache.end() &&
      text::lower_az(process_image_path(cached->second)).find(wanted) != std::u16string::npos) {
    return cached->second;
  }
  std::vector<unsigned long> ids;
  EnumerateProcesses(ids);
  for (unsigned long pid : ids) {
    if (text::lower_az(process_image_path(pid)).find(wanted) != std::u16string::npos) {
      pid_cache[wanted] = pid;
      return pid;
    }
  }
  return 0;
}

int CProcesses::logged_on_users(std::vector<std::u16string>& list) {
  list.clear();
  std::vector<unsigned long> ids;
  EnumerateProcesses(ids);
  int pairs = 0;
  for (unsigned long pid : ids) {
    if (text::lower_az(base_name(pid)) != u"explorer.exe") continue;
    const std::u16string owner = process_owner(pid);
    if (owner.empty()) continue;
    list.push_back(owner);
    list.push_back(text::format(u"%i", static_cast<int>(pid)));
    ++pairs;
  }
  if (!ids.empty()) forget_other_than(std::move(ids));
  return pairs;
}

bool CProcesses::has_cached_name(DWORD pid) const {
  std::lock_guard guard(lock);
  return name_cache.contains(pid);
}

void CProcesses::forget_other_than(std::vector<unsigned long> running) {
  std::sort(running.begin(), running.end());
  std::lock_guard guard(lock);
  const auto ended = [&](const auto& entry) { return !std::binary_search(running.begin(), running.end(), entry.first); };
  std::erase_if(name_cache, ended);
  std::erase_if(unnamed, ended);
}

int shared_logged_on_users(std::vector<std::u16string>& list) {
  static CProcesses* processes = new CProcesses;  // lives until exit: a decision may run that late
  return processes->logged_on_users(list);
}
