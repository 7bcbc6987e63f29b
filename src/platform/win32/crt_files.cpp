// The C run-time's file and environment calls, forwarded to the Microsoft run-time.
#include <direct.h>

#include <cstdlib>

#include "platform/os.h"
#include "platform/win32/text_cast.h"

// msvcrt.dll exports _wgetenv_s, but mingw-w64's headers do not declare it.
extern "C" _CRTIMP errno_t __cdecl _wgetenv_s(size_t* required, wchar_t* buffer, size_t count, const wchar_t* name);

namespace os {

using win32::wide;

errno_t _wsopen_s(int* fd, const char16_t* path, int oflag, int shflag, int pmode) {
  return ::_wsopen_s(fd, wide(path), oflag, shflag, pmode);
}

long _filelength(int fd) { return ::_filelength(fd); }
int _read(int fd, void* buffer, unsigned int count) { return ::_read(fd, buffer, count); }
int _write(int fd, const void* buffer, unsigned int count) { return ::_write(fd, buffer, count); }
int _close(int fd) { return ::_close(fd); }
int _wmkdir(const char16_t* path) { return ::_wmkdir(wide(path)); }
int _wchmod(const char16_t* path, int mode) { return ::_wchmod(wide(path), mode); }

// Microsoft's run-time empties the buffer when the variable is missing; Wine's leaves it as it was.
// Emptying it first gives Microsoft's result on both.
errno_t _wgetenv_s(std::size_t* required, char16_t* buffer, std::size_t count, const char16_t* name) {
  if (buffer != nullptr && count > 0) buffer[0] = u'\0';
  return ::_wgetenv_s(required, wide(buffer), count, wide(name));
}

}  // namespace os
