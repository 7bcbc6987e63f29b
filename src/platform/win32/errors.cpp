// The thread's last-error value and handle closing: the system's own, unchanged.
#include "platform/os.h"

namespace os {

DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD code) { ::SetLastError(code); }
BOOL CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }

}  // namespace os
