// Named mutexes, events, waiting and the calling thread's id.
#include "platform/os.h"
#include "platform/win32/text_cast.h"

namespace os {

using win32::wide;

HANDLE CreateMutexW(SECURITY_ATTRIBUTES* security, BOOL initial_owner, const char16_t* name) {
  return ::CreateMutexW(security, initial_owner, wide(name));
}

HANDLE OpenMutexW(DWORD access, BOOL inherit, const char16_t* name) {
  return ::OpenMutexW(access, inherit, wide(name));
}

BOOL ReleaseMutex(HANDLE mutex) { return ::ReleaseMutex(mutex); }

HANDLE CreateEventW(SECURITY_ATTRIBUTES* security, BOOL manual_reset, BOOL initial_state, const char16_t* name) {
  return ::CreateEventW(security, manual_reset, initial_state, wide(name));
}

BOOL SetEvent(HANDLE event) { return ::SetEvent(event); }
BOOL ResetEvent(HANDLE event) { return ::ResetEvent(event); }
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) { return ::WaitForSingleObject(handle, milliseconds); }
void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }
DWORD GetCurrentThreadId() { return ::GetCurrentThreadId(); }

}  // namespace os
