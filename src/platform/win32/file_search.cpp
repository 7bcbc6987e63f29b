// File search: the SDK's find data is copied into ours, whose names are char16_t text.
#include <cstddef>

#include "platform/os.h"
#include "platform/win32/text_cast.h"

namespace os {

namespace {

void copy_find_data(WIN32_FIND_DATAW& to, const ::WIN32_FIND_DATAW& from) {
  to.dwFileAttributes = from.dwFileAttributes;
  to.ftCreationTime = from.ftCreationTime;
  to.ftLastAccessTime = from.ftLastAccessTime;
  to.ftLastWriteTime = from.ftLastWriteTime;
  to.nFileSizeHigh = from.nFileSizeHigh;
  to.nFileSizeLow = from.nFileSizeLow;
  to.dwReserved0 = from.dwReserved0;
  to.dwReserved1 = from.dwReserved1;
  win32::copy_text(to.cFileName, from.cFileName);
  win32::copy_text(to.cAlternateFileName, from.cAlternateFileName);
}

}  // namespace

HANDLE FindFirstFileW(const char16_t* pattern, WIN32_FIND_DATAW* data) {
  if (data == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  ::WIN32_FIND_DATAW found{};
  const HANDLE find = ::FindFirstFileW(win32::wide(pattern), &found);
  if (find != INVALID_HANDLE_VALUE) copy_find_data(*data, found);
  return find;
}

BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data) {
  if (data == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ::WIN32_FIND_DATAW found{};
  const BOOL ok = ::FindNextFileW(find, &found);
  if (ok) copy_find_data(*data, found);
  return ok;
}

BOOL FindClose(HANDLE find) { return ::FindClose(find); }

}  // namespace os
