#include "platform/sim/proc_files.h"

#include "platform/sim/posix_fd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cerrno>
#include <sstream>

namespace os::sim {

namespace {

std::string proc_path(pid_t pid, const char* leaf) { return "/proc/" + std::to_string(pid) + "/" + leaf; }

// Reads with plain read(2): a process that ends while its file is read makes the read fail with
// ESRCH, which then means "no such process" rather than an exception from a stream buffer.
std::optional<std::string> read_small_file(const std::string& path) {
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) return std::nullopt;
  std::string text;
  char chunk[4096];
  for (;;) {
    const ssize_t got = ::read(file.get(), chunk, sizeof chunk);
    if (got == 0) return text;
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    text.append(chunk, static_cast<std::size_t>(got));
  }
}

bool all_digits(const char* name) {
  if (*name == '\0') return false;
  for (; *name; ++name) {
    if (*name < '0' || *name > '9') return false;
  }
  return true;
}

}  // namespace

std::vector<pid_t> list_live_processes() {
  std::vector<pid_t> ids;
  DIR* proc = ::opendir("/proc");
  if (!proc) return ids;
  while (const dirent* entry = ::readdir(proc)) {
    if (!all_digits(entry->d_name)) continue;
    const pid_t pid = static_cast<pid_t>(std::strtol(entry->d_name, nullptr, 10));
    const auto stat = read_proc_stat(pid);
    if (stat && stat->state != 'Z') ids.push_back(pid);
  }
  ::closedir(proc);
  std::sort(ids.begin(), ids.end());
  return ids;
}

std::optional<ProcStat> read_proc_stat(pid_t pid) {
  const auto text = read_small_file(proc_path(pid, "stat"));
  if (!text) return std::nullopt;
  // "pid (comm) state ppid ...": the command may hold blanks and parentheses, so it ends at the
  // last ")".
  const auto open = text->find('(');
  const auto close = text->rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return std::nullopt;
  ProcStat stat;
  stat.command = text->substr(open + 1, close - open - 1);
  std::istringstream rest(text->substr(close + 1));
  // Fields 3 (state), 4 (ppid), 14 (utime), 15 (stime), 20 (num_threads) and 22 (starttime) of
  // proc(5); field n is fields[n - 3].
  std::string field;
  std::vector<std::string> fields;
  while (fields.size() < 20 && rest >> field) fields.push_back(field);
  if (fields.size() < 20 || fields[0].size() != 1) return std::nullopt;
  stat.state = fields[0][0];
  try {
    stat.parent = static_cast<pid_t>(std::stol(fields[1]));
    stat.user_ticks = std::stoull(fields[11]);
    stat.kernel_ticks = std::stoull(fields[12]);
    stat.threads = std::stol(fields[17]);
    stat.start_ticks = std::stoull(fields[19]);
  } catch (...) {
    return std::nullopt;
  }
  return stat;
}

std::optional<uid_t> read_effective_uid(pid_t pid) {
  const auto text = read_small_file(proc_path(pid, "status"));
  if (!text) return std::nullopt;
  // "Uid:\treal\teffective\tsaved\tfilesystem"
  const auto line = text->find("\nUid:");
  if (line == std::string::npos) return std::nullopt;
  std::istringstream fields(text->substr(line + 5));
  unsigned long real = 0, effective = 0;
  if (!(fields >> real >> effective)) return std::nullopt;
  return static_cast<uid_t>(effective);
}

ImagePath read_image_path(pid_t pid) {
  const std::string link = proc_path(pid, "exe");
  std::string target(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink(link.c_str(), target.data(), target.size());
    if (length < 0) return {{}, errno};
    if (static_cast<std::size_t>(length) < target.size()) {
      target.resize(static_cast<std::size_t>(length));
      break;
    }
    target.resize(target.size() * 2);
  }
  // An executable deleted while it runs reads "<path> (deleted)"; the name is still its path.
  static constexpr std::string_view kDeleted = " (deleted)";
  struct stat ignored {};
  if (target.ends_with(kDeleted) && ::stat(target.c_str(), &ignored) != 0) {
    target.resize(target.size() - kDeleted.size());
  }
  return {target, 0};
}

std::string linux_base_name(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace os::sim
