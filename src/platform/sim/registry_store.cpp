#include "platform/sim/registry_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "platform/sim/host.h"

namespace os::sim {

namespace {

std::string registry_folder() { return sim_root() + "/registry"; }

// The machine-wide registry lock, held while the object lives.
class RegistryLock {
 public:
  explicit RegistryLock(bool exclusive) {
    const std::string folder = registry_folder();
    ::mkdir(folder.c_str(), 0777);
    fd_ = ::open((folder + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
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
  ~RegistryLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  RegistryLock(const RegistryLock&) = delete;
  RegistryLock& operator=(const RegistryLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// The file's bytes; empty when it does not exist yet; nothing when it cannot be read.
std::optional<std::string> read_file(const std::string& path) {
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

LSTATUS store(const RegistryKey& root) {
  const std::string path = registry_file_path();
  const std::string temporary = path + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(::syscall(SYS_gettid));
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return ERROR_ACCESS_DENIED;
  const bool written = write_all(fd, to_text(root));
  ::close(fd);
  if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return ERROR_WRITE_FAULT;
  }
  return ERROR_SUCCESS;
}

std::optional<RegistryKey> load() {
  const std::optional<std::string> bytes = read_file(registry_file_path());
  if (!bytes) return std::nullopt;
  return from_text(*bytes);
}

}  // namespace

std::string registry_file_path() { return registry_folder() + "/HKEY_LOCAL_MACHINE.reg"; }

LSTATUS read_registry(const std::function<LSTATUS(const RegistryKey& root)>& body) {
  RegistryLock lock(false);
  if (!lock.held()) return ERROR_ACCESS_DENIED;
  const std::optional<RegistryKey> root = load();
  if (!root) return ERROR_BADDB;
  return body(*root);
}

LSTATUS change_registry(const std::function<LSTATUS(RegistryKey& root, bool& changed)>& body) {
  RegistryLock lock(true);
  if (!lock.held()) return ERROR_ACCESS_DENIED;
  std::optional<RegistryKey> root = load();
  if (!root) return ERROR_BADDB;
  bool changed = false;
  const LSTATUS status = body(*root, changed);
  if (status != ERROR_SUCCESS || !changed) return status;
  return store(*root);
}

}  // namespace os::sim
