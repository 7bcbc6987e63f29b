// Debugger output: the system's own, seen by a debugger or a debug viewer.
#include "platform/os.h"
#include "platform/win32/text_cast.h"

namespace os {

void OutputDebugStringW(const char16_t* text) { ::OutputDebugStringW(win32::wide(text)); }

}  // namespace os
