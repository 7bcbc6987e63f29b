// The running program: its path and command line.
#include "platform/os.h"
#include "platform/win32/text_cast.h"

namespace os {

// A path cut to fit the buffer ends with a zero in its last place, as on Windows since Vista (Wine
// leaves it unterminated), so a caller never reads past the buffer.
DWORD GetModuleFileNameW(HMODULE module, char16_t* buffer, DWORD size) {
  const DWORD length = ::GetModuleFileNameW(module, win32::wide(buffer), size);
  if (length == size && size > 0) buffer[size - 1] = u'\0';
  return length;
}

const char16_t* GetCommandLineW() { return win32::utf16(::GetCommandLineW()); }

}  // namespace os
