// Files and folders through the Win32 file API.
#include "platform/os.h"
#include "platform/win32/text_cast.h"

namespace os {

using win32::wide;

HANDLE CreateFileW(const char16_t* name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                   DWORD disposition, DWORD flags, HANDLE template_file) {
  return ::CreateFileW(wide(name), access, share, security, disposition, flags, template_file);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped) {
  return ::ReadFile(file, buffer, count, read, overlapped);
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written, OVERLAPPED* overlapped) {
  return ::WriteFile(file, buffer, count, written, overlapped);
}

DWORD GetFileSize(HANDLE file, DWORD* high) { return ::GetFileSize(file, high); }

BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD in_size, void* out, DWORD out_size, DWORD* returned,
                     OVERLAPPED* overlapped) {
  return ::DeviceIoControl(device, code, in, in_size, out, out_size, returned, overlapped);
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distance_high, DWORD method) {
  return ::SetFilePointer(file, distance, distance_high, method);
}

BOOL SetEndOfFile(HANDLE file) { return ::SetEndOfFile(file); }
BOOL FlushFileBuffers(HANDLE file) { return ::FlushFileBuffers(file); }
DWORD GetFileAttributesW(const char16_t* path) { return ::GetFileAttributesW(wide(path)); }

BOOL SetFileAttributesW(const char16_t* path, DWORD attributes) {
  return ::SetFileAttributesW(wide(path), attributes);
}

BOOL DeleteFileW(const char16_t* path) { return ::DeleteFileW(wide(path)); }

BOOL CreateDirectoryW(const char16_t* path, SECURITY_ATTRIBUTES* security) {
  return ::CreateDirectoryW(wide(path), security);
}

BOOL RemoveDirectoryW(const char16_t* path) { return ::RemoveDirectoryW(wide(path)); }

BOOL CopyFileW(const char16_t* from, const char16_t* to, BOOL fail_if_exists) {
  return ::CopyFileW(wide(from), wide(to), fail_if_exists);
}

BOOL MoveFileExW(const char16_t* from, const char16_t* to, DWORD flags) {
  return ::MoveFileExW(wide(from), wide(to), flags);
}

}  // namespace os
