// Win32 file handles on disk files: CreateFileW and the calls on its handles.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/os.h"
#include "platform/sim/devices.h"
#include "platform/sim/errors.h"
#include "platform/sim/io_object.h"
#include "platform/sim/named_pipes.h"
#include "platform/sim/host.h"
#include "platform/sim/paths.h"

namespace os {

namespace {

using sim::fail;
using sim::FileObject;

constexpr DWORD kReadRights = GENERIC_READ | GENERIC_ALL | FILE_READ_DATA | MAXIMUM_ALLOWED;
constexpr DWORD kWriteRights = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA | MAXIMUM_ALLOWED;

HANDLE fail_handle(DWORD error) {
  os::SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

// "\\.\NAME" is the device namespace (pipes, volumes, drivers): pipes are served by the pipe
// calls, every other name by the simulated device families (devices.h). "\\?\NAME" reaches the same
// namespace (device interface paths come in that form) unless NAME is a drive path ("C:\...") or
// "UNC\...", which stay files.
bool is_device_name(std::u16string_view name) {
  const bool prefix = name.size() >= 4 && (name[0] == u'\\' || name[0] == u'/') &&
                      (name[1] == u'\\' || name[1] == u'/') && (name[3] == u'\\' || name[3] == u'/');
  if (!prefix) return false;
  if (name[2] == u'.') return true;
  if (name[2] != u'?') return false;
  const std::u16string_view rest = name.substr(4);
  const bool drive_path = rest.size() >= 2 && rest[1] == u':' && (rest.size() == 2 || rest[2] == u'\\' || rest[2] == u'/');
  const bool unc = rest.size() >= 4 && (rest[0] == u'U' || rest[0] == u'u') && (rest[1] == u'N' || rest[1] == u'n') &&
                   (rest[2] == u'C' || rest[2] == u'c') && (rest[3] == u'\\' || rest[3] == u'/');
  return !drive_path && !unc && !rest.empty();
}

struct OpenResult {
  int fd = -1;
  bool existed = false;
  DWORD error = ERROR_SUCCESS;
};

// Opens without creating first, then creates exclusively, so "did the file exist" is exact even
// when another process creates or deletes it at the same time.
OpenResult open_for_disposition(const std::string& path, int access_flags, DWORD disposition, mode_t create_mode) {
  const int base = access_flags | O_CLOEXEC;
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (disposition != CREATE_NEW) {
      const int truncate = (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) ? O_TRUNC : 0;
      const int fd = ::open(path.c_str(), base | truncate);
      if (fd >= 0) return {fd, true, ERROR_SUCCESS};
      if (errno != ENOENT || disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
        return {-1, false, sim::win32_error_for_path(errno, path)};
      }
    }
    const int fd = ::open(path.c_str(), base | O_CREAT | O_EXCL, create_mode);
    if (fd >= 0) return {fd, false, ERROR_SUCCESS};
    if (errno != EEXIST) return {-1, false, sim::win32_error_for_path(errno, path)};
    if (disposition == CREATE_NEW) return {-1, true, ERROR_FILE_EXISTS};
  }
  return {-1, false, ERROR_SHARING_VIOLATION};
}

std::shared_ptr<FileObject> find_file(HANDLE handle) { return sim::find_handle_as<FileObject>(handle); }

// On a synchronous disk file an OVERLAPPED structure gives the offset of the transfer.
bool seek_to_overlapped_offset(sim::IoObject& object, const OVERLAPPED* overlapped) {
  auto* disk = dynamic_cast<FileObject*>(&object);
  if (!overlapped || !disk) return true;
  const std::uint64_t offset = (static_cast<std::uint64_t>(overlapped->OffsetHigh) << 32) | overlapped->Offset;
  return disk->seek_to(static_cast<off_t>(offset));
}

// The file pointer's origin for SetFilePointer, found without moving the pointer.
off_t seek_origin(int fd, DWORD method) {
  if (method == FILE_BEGIN) return 0;
  if (method == FILE_CURRENT) return ::lseek(fd, 0, SEEK_CUR);
  struct stat st {};
  return ::fstat(fd, &st) == 0 ? st.st_size : -1;
}

HANDLE open_device_handle(std::u16string_view device, DWORD access, DWORD flags) {
  const auto opened = sim::open_device(device, access, flags);
  if (!opened) return fail_handle(ERROR_FILE_NOT_FOUND);
  if (!opened->object) return fail_handle(opened->error != ERROR_SUCCESS ? opened->error : ERROR_FILE_NOT_FOUND);
  HANDLE handle = sim::add_handle(opened->object);
  os::SetLastError(ERROR_SUCCESS);
  return handle;
}

}  // namespace

HANDLE CreateFileW(const char16_t* name, DWORD access, DWORD, SECURITY_ATTRIBUTES*, DWORD disposition, DWORD flags,
                   HANDLE) {
  if (!name) return fail_handle(ERROR_INVALID_PARAMETER);
  if (!*name) return fail_handle(ERROR_PATH_NOT_FOUND);
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) return fail_handle(ERROR_INVALID_PARAMETER);
  if (sim::is_pipe_path(name)) return sim::open_pipe_client(name, access, disposition, flags);
  if (is_device_name(name)) return open_device_handle(std::u16string_view(name).substr(4), access, flags);
  if (flags & FILE_FLAG_OVERLAPPED) return fail_handle(ERROR_NOT_SUPPORTED);  // disk files are synchronous here

  const bool can_read = (access & kReadRights) != 0;
  const bool can_write = (access & kWriteRights) != 0;
  if (disposition == TRUNCATE_EXISTING && !can_write) return fail_handle(ERROR_INVALID_PARAMETER);

  const std::string path = sim::linux_path(name);
  if (path.empty()) return fail_handle(ERROR_PATH_NOT_FOUND);
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (disposition == CREATE_NEW) return fail_handle(ERROR_FILE_EXISTS);
    // Folders open only as folder handles (backup semantics), which the simulated host lacks.
    if (S_ISDIR(st.st_mode)) return fail_handle(ERROR_ACCESS_DENIED);
    const bool changes = can_write || disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    if (changes && (st.st_mode & 0222) == 0) return fail_handle(ERROR_ACCESS_DENIED);
  }

  const int access_flags = can_read && can_write ? O_RDWR : can_write ? O_WRONLY : O_RDONLY;
  const mode_t create_mode = (flags & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  const OpenResult opened = open_for_disposition(path, access_flags, disposition, create_mode);
  if (opened.fd < 0) return fail_handle(opened.error);
  struct stat opened_st {};
  if (::fstat(opened.fd, &opened_st) == 0 && S_ISDIR(opened_st.st_mode)) {
    ::close(opened.fd);
    return fail_handle(ERROR_ACCESS_DENIED);
  }

  HANDLE handle = sim::add_handle(std::make_shared<FileObject>(opened.fd, can_read, can_write));
  const bool reports_existing = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
  os::SetLastError(reports_existing && opened.existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped) {
  if (auto pipe = sim::find_pipe(file)) return sim::pipe_read_file(*pipe, buffer, count, read, overlapped);
  DWORD ignored = 0;
  DWORD& done = read ? *read : ignored;
  done = 0;
  auto object = sim::find_handle_as<sim::IoObject>(file);
  if (!object) return FALSE;
  if (!buffer && count > 0) return fail(ERROR_NOACCESS);
  if (!seek_to_overlapped_offset(*object, overlapped)) return FALSE;
  return object->read(buffer, count, &done);
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written, OVERLAPPED* overlapped) {
  if (auto pipe = sim::find_pipe(file)) return sim::pipe_write_file(*pipe, buffer, count, written, overlapped);
  DWORD ignored = 0;
  DWORD& done = written ? *written : ignored;
  done = 0;
  auto object = sim::find_handle_as<sim::IoObject>(file);
  if (!object) return FALSE;
  if (!buffer && count > 0) return fail(ERROR_NOACCESS);
  if (!seek_to_overlapped_offset(*object, overlapped)) return FALSE;
  return object->write(buffer, count, &done);
}

DWORD GetFileSize(HANDLE file, DWORD* high) {
  auto object = find_file(file);
  struct stat st {};
  if (!object) return INVALID_FILE_SIZE;
  if (::fstat(object->fd(), &st) != 0) {
    os::SetLastError(sim::win32_error_from_errno(errno));
    return INVALID_FILE_SIZE;
  }
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (high) *high = static_cast<DWORD>(size >> 32);
  // A size whose low part looks like the failure value is told apart by a cleared last error.
  os::SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size);
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distance_high, DWORD method) {
  auto object = find_file(file);
  if (!object) return INVALID_SET_FILE_POINTER;
  if (method != FILE_BEGIN && method != FILE_CURRENT && method != FILE_END) {
    os::SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  const std::int64_t move = distance_high
      ? static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(*distance_high)) << 32) |
                                  static_cast<std::uint32_t>(distance))
      : distance;
  const off_t base = seek_origin(object->fd(), method);
  if (base < 0 || (move < 0 && base < -move)) {
    os::SetLastError(base < 0 ? sim::win32_error_from_errno(errno) : ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  const off_t position = ::lseek(object->fd(), base + move, SEEK_SET);
  if (position < 0) {
    os::SetLastError(sim::win32_error_from_errno(errno));
    return INVALID_SET_FILE_POINTER;
  }
  const auto unsigned_position = static_cast<std::uint64_t>(position);
  if (distance_high) *distance_high = static_cast<LONG>(unsigned_position >> 32);
  os::SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(unsigned_position);
}

BOOL SetEndOfFile(HANDLE file) {
  auto object = find_file(file);
  if (!object) return FALSE;
  if (!object->can_write()) return fail(ERROR_ACCESS_DENIED);
  const off_t position = ::lseek(object->fd(), 0, SEEK_CUR);
  if (position < 0 || ::ftruncate(object->fd(), position) != 0) return fail(sim::win32_error_from_errno(errno));
  return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
  if (auto pipe = sim::find_pipe(file)) return sim::pipe_flush(*pipe);
  auto object = sim::find_handle_as<sim::IoObject>(file);
  if (!object) return FALSE;
  return object->flush();
}

}  // namespace os
