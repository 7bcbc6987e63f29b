// What Linux tells about its processes under /proc. Every reader copes with a process that ends
// while it is read: it then reports nothing (or the errno), never a partial value.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace os::sim {

// The ids of the processes (thread-group leaders) in ascending order; zombies are left out.
std::vector<pid_t> list_live_processes();

struct ProcStat {
  char state = '?';  // 'Z' for a zombie
  pid_t parent = 0;
  long threads = 0;
  std::string command;  // the kernel's short name (comm), at most 15 bytes
  // Clock ticks (sysconf(_SC_CLK_TCK) a second): the start after the Linux boot, and the time
  // spent in user and in kernel mode.
  unsigned long long start_ticks = 0;
  unsigned long long user_ticks = 0;
  unsigned long long kernel_ticks = 0;
};
std::optional<ProcStat> read_proc_stat(pid_t pid);

// The effective user of the process.
std::optional<uid_t> read_effective_uid(pid_t pid);

// The executable's Linux path (the target of /proc/<pid>/exe). On failure, empty with `error` set
// to the errno: EACCES for another user's process, ENOENT for a kernel thread or an ended process.
struct ImagePath {
  std::string path;
  int error = 0;
};
ImagePath read_image_path(pid_t pid);

// The last component of a Linux path.
std::string linux_base_name(const std::string& path);

}  // namespace os::sim
