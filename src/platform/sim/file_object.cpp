#include <unistd.h>

#include <cerrno>

#include "platform/sim/errors.h"
#include "platform/sim/io_object.h"

namespace os::sim {

FileObject::~FileObject() { ::close(fd_); }

BOOL FileObject::read(void* buffer, DWORD count, DWORD* done) {
  if (!can_read_) return fail(ERROR_ACCESS_DENIED);
  ssize_t n;
  do {
    n = ::read(fd_, buffer, count);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return fail(win32_error_from_errno(errno));
  *done = static_cast<DWORD>(n);
  return TRUE;
}

BOOL FileObject::write(const void* buffer, DWORD count, DWORD* done) {
  if (!can_write_) return fail(ERROR_ACCESS_DENIED);
  const char* data = static_cast<const char*>(buffer);
  DWORD written = 0;
  while (written < count) {
    const ssize_t n = ::write(fd_, data + written, count - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *done = written;
      return fail(win32_error_from_errno(errno));
    }
    written += static_cast<DWORD>(n);
  }
  *done = written;
  return TRUE;
}

BOOL FileObject::flush() {
  if (!can_write_) return fail(ERROR_ACCESS_DENIED);
  if (::fsync(fd_) != 0) return fail(win32_error_from_errno(errno));
  return TRUE;
}

bool FileObject::seek_to(off_t position) {
  if (::lseek(fd_, position, SEEK_SET) < 0) {
    fail(win32_error_from_errno(errno));
    return false;
  }
  return true;
}

}  // namespace os::sim
