// log [--follow]: the machine's debugger output.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>

#include "commands.h"
#include "platform/sim/host.h"

namespace sim_cli {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void on_interrupt(int) { g_interrupted = 1; }

bool write_out(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(STDOUT_FILENO, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Copies what the descriptor holds from its position on; false when standard output is gone.
bool copy_available(int fd) {
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return true;
    if (!write_out(buffer, static_cast<std::size_t>(n))) return false;
  }
}

// Prints the log, then what is added to it, until SIGINT or SIGTERM. A log that is deleted or
// replaced (the machine was reset) is followed from its new beginning.
int follow(const std::string& path) {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigaction(SIGINT, &action, nullptr);  // no SA_RESTART: the sleep below ends early
  sigaction(SIGTERM, &action, nullptr);
  int fd = -1;
  ino_t inode = 0;
  while (!g_interrupted) {
    struct stat now {};
    const bool exists = ::stat(path.c_str(), &now) == 0;
    if (fd >= 0) {
      struct stat open_st {};
      ::fstat(fd, &open_st);
      const off_t position = ::lseek(fd, 0, SEEK_CUR);
      if (!exists || now.st_ino != inode || open_st.st_size < position) {
        if (!copy_available(fd)) return 0;  // the rest of the old file first
        ::close(fd);
        fd = -1;
      }
    }
    if (fd < 0 && exists) {
      fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      inode = now.st_ino;
    }
    if (fd >= 0 && !copy_available(fd)) break;
    ::usleep(100 * 1000);
  }
  if (fd >= 0) ::close(fd);
  return 0;
}

}  // namespace

int cmd_log(const Args& args) {
  const bool follow_on = args.size() == 1 && (args[0] == "--follow" || args[0] == "-f");
  if (!args.empty() && !follow_on) return fail(kBadInput, "usage: log [--follow]");
  const std::string path = os::sim::sim_root() + "/debug.log";
  if (follow_on) return follow(path);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;  // nothing written yet
  copy_available(fd);
  ::close(fd);
  return 0;
}

}  // namespace sim_cli
