// The C run-time's file calls. Descriptors are Linux descriptors; every one is untranslated
// (_O_BINARY), since the system opens all its files that way.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/os.h"
#include "platform/sim/errors.h"
#include "platform/sim/paths.h"

namespace os {

namespace {

using sim::crt_errno_from_win32;
using sim::crt_fail;

constexpr int kAccessMask = _O_RDONLY | _O_WRONLY | _O_RDWR;
constexpr int kKnownFlags = kAccessMask | _O_APPEND | _O_NOINHERIT | _O_CREAT | _O_TRUNC | _O_EXCL | _O_TEXT | _O_BINARY;

int crt_errno_for_path(int linux_error, const std::string& path) {
  return crt_errno_from_win32(sim::win32_error_for_path(linux_error, path));
}

int linux_open_flags(int oflag) {
  int flags = 0;
  switch (oflag & kAccessMask) {
    case _O_WRONLY: flags = O_WRONLY; break;
    case _O_RDWR: flags = O_RDWR; break;
    default: flags = O_RDONLY; break;
  }
  if (oflag & _O_CREAT) flags |= O_CREAT;
  if (oflag & _O_TRUNC) flags |= O_TRUNC;
  if (oflag & _O_EXCL) flags |= O_EXCL;
  if (oflag & _O_APPEND) flags |= O_APPEND;
  if (oflag & _O_NOINHERIT) flags |= O_CLOEXEC;
  return flags;
}

bool valid_share_flag(int shflag) {
  return shflag == _SH_DENYRW || shflag == _SH_DENYWR || shflag == _SH_DENYRD || shflag == _SH_DENYNO;
}

}  // namespace

errno_t _wsopen_s(int* fd, const char16_t* path, int oflag, int shflag, int pmode) {
  if (!fd) return errno = EINVAL;
  *fd = -1;
  if (!path || (oflag & ~kKnownFlags) || (oflag & kAccessMask) == kAccessMask || !valid_share_flag(shflag)) {
    return errno = EINVAL;
  }
  const std::string file = sim::linux_path(path);
  if (file.empty()) return errno = ENOENT;

  struct stat st {};
  const bool exists = ::stat(file.c_str(), &st) == 0;
  if (exists && (oflag & _O_CREAT) && (oflag & _O_EXCL)) return errno = EEXIST;
  if (exists && S_ISDIR(st.st_mode)) return errno = EACCES;
  // A file without write permission refuses writers as on Windows, even to root.
  const bool writes = (oflag & kAccessMask) != _O_RDONLY || (oflag & _O_TRUNC);
  if (exists && writes && (st.st_mode & 0222) == 0) return errno = EACCES;

  const mode_t mode = (pmode & _S_IWRITE) ? 0666 : 0444;
  const int opened = ::open(file.c_str(), linux_open_flags(oflag), mode);
  if (opened < 0) return errno = crt_errno_for_path(errno, file);
  *fd = opened;
  return 0;
}

long _filelength(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return crt_fail(EBADF);
  return static_cast<long>(st.st_size);
}

int _read(int fd, void* buffer, unsigned int count) {
  if (count > INT_MAX || (!buffer && count > 0)) return crt_fail(EINVAL);
  ssize_t n;
  do {
    n = ::read(fd, buffer, count);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return crt_fail(crt_errno_from_win32(sim::win32_error_from_errno(errno)));
  return static_cast<int>(n);
}

int _write(int fd, const void* buffer, unsigned int count) {
  if (count > INT_MAX || (!buffer && count > 0)) return crt_fail(EINVAL);
  const char* data = static_cast<const char*>(buffer);
  unsigned int done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd, data + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return crt_fail(crt_errno_from_win32(sim::win32_error_from_errno(errno)));
    done += static_cast<unsigned int>(n);
  }
  return static_cast<int>(done);
}

int _close(int fd) {
  if (fd < 0 || ::close(fd) != 0) return crt_fail(EBADF);
  return 0;
}

int _wmkdir(const char16_t* path) {
  if (!path) return crt_fail(EINVAL);
  if (!sim::fits_path_limit(path, sim::kMaxFolderPath)) return crt_fail(crt_errno_from_win32(ERROR_FILENAME_EXCED_RANGE));
  const std::string folder = sim::linux_path(path);
  if (folder.empty()) return crt_fail(ENOENT);
  if (::mkdir(folder.c_str(), 0777) != 0) return crt_fail(crt_errno_for_path(errno, folder));
  return 0;
}

int _wchmod(const char16_t* path, int mode) {
  if (!path) return crt_fail(EINVAL);
  const std::string file = sim::linux_path(path);
  struct stat st {};
  if (file.empty() || ::stat(file.c_str(), &st) != 0) return crt_fail(ENOENT);
  // Only the read-only attribute is kept; on a folder Windows keeps it without effect, so folders
  // are left as they are.
  if (S_ISDIR(st.st_mode)) return 0;
  const unsigned bits = st.st_mode & 07777;
  const unsigned wanted = (mode & _S_IWRITE) ? sim::writable_mode(bits) : (bits & ~0222u);
  if (wanted != bits && ::chmod(file.c_str(), wanted) != 0) {
    return crt_fail(crt_errno_for_path(errno, file));
  }
  return 0;
}

}  // namespace os
