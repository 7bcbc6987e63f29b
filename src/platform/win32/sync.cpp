// Named mutexes, events, waiting, threads and the calling thread's id.
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

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all, DWORD milliseconds) {
  return ::WaitForMultipleObjects(count, handles, wait_all, milliseconds);
}

HANDLE CreateThread(SECURITY_ATTRIBUTES* security, SIZE_T stack_size, LPTHREAD_START_ROUTINE start, void* parameter,
                    DWORD flags, DWORD* thread_id) {
  return ::CreateThread(security, stack_size, start, parameter, flags, thread_id);
}

DWORD ResumeThread(HANDLE thread) { return ::ResumeThread(thread); }
BOOL TerminateThread(HANDLE thread, DWORD exit_code) { return ::TerminateThread(thread, exit_code); }

}  // namespace os
