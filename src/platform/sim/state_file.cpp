#include "platform/sim/state_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace os::sim {

namespace {

bool write_all(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

StateLock::StateLock(const std::string& lock_path, bool exclusive) {
  const std::size_t slash = lock_path.rfind('/');
  if (slash != std::string::npos && slash > 0) ::mkdir(lock_path.substr(0, slash).c_str(), 0777);
  fd_ = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ < 0) return;
  int result;
  do {
    result = ::flock(fd_, exclusive ? LOCK_EX : LOCK_SH);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

StateLock::~StateLock() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

std::optional<std::string> read_state_file(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? std::optional<std::string>(std::string()) : std::nullopt;
  std::string bytes;
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return bytes;
}

DWORD replace_state_file(const std::string& path, const std::string& bytes) {
  const std::string temporary =
      path + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(::syscall(SYS_gettid));
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return ERROR_ACCESS_DENIED;
  const bool written = write_all(fd, bytes);
  ::close(fd);
  if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return ERROR_WRITE_FAULT;
  }
  return ERROR_SUCCESS;
}

}  // namespace os::sim
