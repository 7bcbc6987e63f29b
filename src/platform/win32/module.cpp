// The running program: its path and command line.
#include "platform/os.h"
#include "platform/win32/text_cast.h"

namespace os {

DWORD GetModuleFileNameW(HMODULE module, char16_t* buffer, DWORD size) {
  return ::GetModuleFileNameW(module, win32::wide(buffer), size);
}

const char16_t* GetCommandLineW() { return win32::utf16(::GetCommandLineW()); }

}  // namespace os
