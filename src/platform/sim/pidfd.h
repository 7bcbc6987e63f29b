// pidfd system calls, called directly: glibc 2.36's <sys/pidfd.h> lacks C linkage for C++, and
// older C libraries lack the wrappers.
#pragma once

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace os::sim {

// A descriptor (close-on-exec) that refers to the process `pid`, or -1 with errno.
inline int open_pidfd(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

inline int send_signal_to_pidfd(int pidfd, int signal) {
  return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
}

}  // namespace os::sim
