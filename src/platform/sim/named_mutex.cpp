#include "platform/sim/named_mutex.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/sim/accounts.h"
#include "platform/sim/errors.h"
#include "platform/sim/object_names.h"

namespace os::sim {

namespace {

constexpr off_t kExistenceByte = 0;
constexpr off_t kGuardByte = 1;

// The named mutexes this process holds, by lock file, so that its handles share one state.
struct Registry {
  std::mutex lock;
  std::unordered_map<std::string, std::weak_ptr<MutexState>> by_path;
};

Registry& registry() {
  static Registry* r = new Registry;  // lives until exit: handles may close in late destructors
  return *r;
}

struct flock byte_lock(short type, off_t byte) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  return lock;
}

bool set_lock(int fd, short type, off_t byte, int command) {
  for (;;) {
    struct flock lock = byte_lock(type, byte);
    if (::fcntl(fd, command, &lock) == 0) return true;
    if (errno != EINTR) return false;
  }
}

// Whether some open file (in any process, this one included) holds a lock on the byte.
bool byte_is_locked(int fd, off_t byte, bool& locked) {
  struct flock lock = byte_lock(F_WRLCK, byte);
  if (::fcntl(fd, F_OFD_GETLK, &lock) != 0) return false;
  locked = lock.l_type != F_UNLCK;
  return true;
}

NamedMutex failure(DWORD error) { return {nullptr, false, error}; }

// Opens the lock file and, under the guard, tests the name and takes its existence lock. A name
// that does not exist is made only when `create` is set and `may_make` allows it.
NamedMutex take_existence(const std::string& path, bool create, bool may_make) {
  UniqueFd file(::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0666));
  if (!file) return failure(win32_error_from_errno(errno));
  if (create) ::fchmod(file.get(), 0666);  // any user may open it; fails harmlessly when not ours

  if (!set_lock(file.get(), F_WRLCK, kGuardByte, F_OFD_SETLKW)) return failure(win32_error_from_errno(errno));
  bool existed = false;
  if (!byte_is_locked(file.get(), kExistenceByte, existed)) return failure(win32_error_from_errno(errno));
  if (!existed && !create) return failure(ERROR_FILE_NOT_FOUND);  // closing the file drops the guard
  if (!existed && !may_make) return failure(ERROR_ACCESS_DENIED);
  if (!set_lock(file.get(), F_RDLCK, kExistenceByte, F_OFD_SETLK)) return failure(win32_error_from_errno(errno));
  set_lock(file.get(), F_UNLCK, kGuardByte, F_OFD_SETLK);
  return {std::make_shared<MutexState>(std::move(file)), existed, ERROR_SUCCESS};
}

NamedMutex open_or_create(std::u16string_view name, bool create) {
  const ObjectPath object = kernel_object_path(name, "mutex");
  if (object.error != ERROR_SUCCESS) return failure(object.error);

  Registry& r = registry();
  std::lock_guard guard(r.lock);
  if (const auto it = r.by_path.find(object.path); it != r.by_path.end()) {
    if (auto held = it->second.lock()) return {std::move(held), true, ERROR_SUCCESS};
  }
  // Creating an object in the global namespace takes a privilege that standard users lack; they
  // may still open one that exists.
  const bool may_make = !object.global || is_administrator(::geteuid());
  NamedMutex result = take_existence(object.path, create, may_make);
  if (result.state) {
    std::erase_if(r.by_path, [](const auto& entry) { return entry.second.expired(); });
    r.by_path[object.path] = result.state;
  }
  return result;
}

}  // namespace

NamedMutex create_named_mutex(std::u16string_view name) { return open_or_create(name, true); }

// A missing lock file (ENOENT) is a name that never existed: ERROR_FILE_NOT_FOUND.
NamedMutex open_named_mutex(std::u16string_view name) { return open_or_create(name, false); }

}  // namespace os::sim
