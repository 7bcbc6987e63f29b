// Files and folders by name: attributes, deleting, folders, copying and moving.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/os.h"
#include "platform/sim/errors.h"
#include "platform/sim/file_info.h"
#include "platform/sim/paths.h"

namespace os {

namespace {

using sim::fail;

BOOL fail_errno(const std::string& path) { return fail(sim::win32_error_for_path(errno, path)); }

// A descriptor closed on every way out.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool copy_bytes(int from, int to) {
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(from, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(to, buffer + done, static_cast<std::size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) return false;
      done += w;
    }
  }
}

BOOL copy_file(const std::string& from, const std::string& to, bool fail_if_exists) {
  struct stat source {};
  if (::stat(from.c_str(), &source) != 0) return fail_errno(from);
  if (S_ISDIR(source.st_mode)) return fail(ERROR_ACCESS_DENIED);
  struct stat target {};
  if (::stat(to.c_str(), &target) == 0) {
    if (fail_if_exists) return fail(ERROR_FILE_EXISTS);
    if (S_ISDIR(target.st_mode) || (target.st_mode & 0222) == 0) return fail(ERROR_ACCESS_DENIED);
  }
  Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) return fail_errno(from);
  const int exclusive = fail_if_exists ? O_EXCL : 0;
  Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | exclusive, 0666));
  if (out.get() < 0) return errno == EEXIST ? fail(ERROR_FILE_EXISTS) : fail_errno(to);
  if (!copy_bytes(in.get(), out.get())) return fail(sim::win32_error_from_errno(errno));
  // CopyFile carries the attributes (read-only among them) and the last write time over.
  const timespec times[2] = {source.st_atim, source.st_mtim};
  ::futimens(out.get(), times);
  ::fchmod(out.get(), source.st_mode & 07777);
  return TRUE;
}

}  // namespace

DWORD GetFileAttributesW(const char16_t* path) {
  const std::string file = sim::linux_path(path);
  struct stat st {};
  if (file.empty() || ::stat(file.c_str(), &st) != 0) {
    os::SetLastError(file.empty() ? ERROR_PATH_NOT_FOUND : sim::win32_error_for_path(errno, file));
    return INVALID_FILE_ATTRIBUTES;
  }
  return sim::file_attributes(st);
}

BOOL SetFileAttributesW(const char16_t* path, DWORD attributes) {
  const std::string file = sim::linux_path(path);
  struct stat st {};
  if (file.empty()) return fail(ERROR_PATH_NOT_FOUND);
  if (::stat(file.c_str(), &st) != 0) return fail_errno(file);
  // Only READONLY is kept, and only on files (Windows ignores it on folders).
  if (S_ISDIR(st.st_mode)) return TRUE;
  const unsigned bits = st.st_mode & 07777;
  const unsigned wanted = (attributes & FILE_ATTRIBUTE_READONLY) ? (bits & ~0222u) : sim::writable_mode(bits);
  if (wanted != bits && ::chmod(file.c_str(), wanted) != 0) return fail_errno(file);
  return TRUE;
}

BOOL DeleteFileW(const char16_t* path) {
  const std::string file = sim::linux_path(path);
  if (file.empty()) return fail(ERROR_PATH_NOT_FOUND);
  if (sim::is_read_only_file(file)) return fail(ERROR_ACCESS_DENIED);
  if (::unlink(file.c_str()) != 0) return fail_errno(file);
  return TRUE;
}

BOOL CreateDirectoryW(const char16_t* path, SECURITY_ATTRIBUTES*) {
  if (path && !sim::fits_path_limit(path, sim::kMaxFolderPath)) return fail(ERROR_FILENAME_EXCED_RANGE);
  const std::string folder = sim::linux_path(path);
  if (folder.empty()) return fail(ERROR_PATH_NOT_FOUND);
  if (::mkdir(folder.c_str(), 0777) != 0) return fail_errno(folder);
  return TRUE;
}

BOOL RemoveDirectoryW(const char16_t* path) {
  const std::string folder = sim::linux_path(path);
  if (folder.empty()) return fail(ERROR_PATH_NOT_FOUND);
  struct stat st {};
  if (::lstat(folder.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) return fail(ERROR_DIRECTORY);
  if (::rmdir(folder.c_str()) != 0) return fail_errno(folder);
  return TRUE;
}

BOOL CopyFileW(const char16_t* from, const char16_t* to, BOOL fail_if_exists) {
  const std::string source = sim::linux_path(from);
  const std::string target = sim::linux_path(to);
  if (source.empty() || target.empty()) return fail(ERROR_PATH_NOT_FOUND);
  return copy_file(source, target, fail_if_exists != FALSE);
}

BOOL MoveFileExW(const char16_t* from, const char16_t* to, DWORD flags) {
  const std::string source = sim::linux_path(from);
  const std::string target = sim::linux_path(to);
  // Without a target Windows deletes at the next restart; the simulated host does not keep that.
  if (!to) return fail(ERROR_INVALID_PARAMETER);
  if (source.empty() || target.empty()) return fail(ERROR_PATH_NOT_FOUND);
  struct stat st {};
  if (::lstat(source.c_str(), &st) != 0) return fail_errno(source);
  const bool replace = (flags & MOVEFILE_REPLACE_EXISTING) != 0;
  struct stat existing {};
  if (::stat(target.c_str(), &existing) == 0) {
    if (!replace) return fail(ERROR_ALREADY_EXISTS);
    if (S_ISDIR(existing.st_mode) || (existing.st_mode & 0222) == 0) return fail(ERROR_ACCESS_DENIED);
  }
  int moved = replace ? ::rename(source.c_str(), target.c_str())
                      : ::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
  if (moved != 0 && errno == EINVAL && !replace) {
    // A file system without RENAME_NOREPLACE: the target was found absent just above.
    moved = ::rename(source.c_str(), target.c_str());
  }
  if (moved == 0) return TRUE;
  if (errno == EEXIST) return fail(ERROR_ALREADY_EXISTS);
  if (errno == EXDEV && (flags & MOVEFILE_COPY_ALLOWED) && !S_ISDIR(st.st_mode)) {
    if (!copy_file(source, target, !replace)) return FALSE;
    if (::unlink(source.c_str()) != 0) return fail_errno(source);
    return TRUE;
  }
  return fail_errno(errno == ENOENT ? target : source);
}

}  // namespace os
