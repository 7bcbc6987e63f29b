// Debugger output: every call is one line of <sim root>/debug.log, added in a single write to a
// file opened for appending, so lines of concurrent processes and threads never interleave.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/os.h"
#include "platform/sim/host.h"
#include "text/utf.h"

namespace os {

namespace {

void write_once(int fd, const std::string& bytes) {
  ssize_t n;
  do {
    n = ::write(fd, bytes.data(), bytes.size());
  } while (n < 0 && errno == EINTR);
}

bool echo_to_stderr() {
  const char* value = std::getenv("VOSTUSB_DEBUG_STDERR");
  return value && std::strcmp(value, "1") == 0;
}

}  // namespace

void OutputDebugStringW(const char16_t* text) {
  if (!text) return;
  const int saved_errno = errno;
  const DWORD saved_error = os::GetLastError();  // debugger output never disturbs the caller's error
  std::string line = text::to_utf8_display(text);
  // A debug viewer shows each call as a line of its own; the log does the same.
  if (line.empty() || line.back() != '\n') line += '\n';
  const int fd = ::open((sim::sim_root() + "/debug.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd >= 0) {
    write_once(fd, line);
    ::close(fd);
  }
  if (echo_to_stderr()) write_once(STDERR_FILENO, line);
  os::SetLastError(saved_error);
  errno = saved_errno;
}

}  // namespace os
