#include "platform/os.h"

namespace os {

namespace {
const wchar_t* w(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
}  // namespace

HANDLE CreateNamedPipeW(const char16_t* name, DWORD open_mode, DWORD pipe_mode, DWORD max_instances,
                        DWORD out_buffer_size, DWORD in_buffer_size, DWORD default_timeout,
                        SECURITY_ATTRIBUTES* security) {
  return ::CreateNamedPipeW(w(name), open_mode, pipe_mode, max_instances, out_buffer_size, in_buffer_size,
                            default_timeout, security);
}

BOOL ConnectNamedPipe(HANDLE pipe, OVERLAPPED* overlapped) { return ::ConnectNamedPipe(pipe, overlapped); }

BOOL DisconnectNamedPipe(HANDLE pipe) { return ::DisconnectNamedPipe(pipe); }

BOOL SetNamedPipeHandleState(HANDLE pipe, DWORD* mode, DWORD* max_collection_count, DWORD* collect_data_timeout) {
  return ::SetNamedPipeHandleState(pipe, mode, max_collection_count, collect_data_timeout);
}

BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* transferred, BOOL wait) {
  return ::GetOverlappedResult(file, overlapped, transferred, wait);
}

// The system's GetOverlappedResultEx exists from Windows 8 on, and the guard also runs on older
// systems; this is the same call built from what Windows 7 has. It waits for the operation's
// event (or the file, as Windows does without one), then takes the result without waiting:
// WAIT_TIMEOUT after a wait that ran out, ERROR_IO_INCOMPLETE when no wait was allowed.
BOOL GetOverlappedResultEx(HANDLE file, OVERLAPPED* overlapped, DWORD* transferred, DWORD milliseconds,
                           BOOL alertable) {
  if (milliseconds != 0 && !HasOverlappedIoCompleted(overlapped)) {
    const DWORD waited = ::WaitForSingleObjectEx(overlapped->hEvent ? overlapped->hEvent : file, milliseconds, alertable);
    if (waited == WAIT_TIMEOUT || waited == WAIT_IO_COMPLETION) {
      ::SetLastError(waited);
      return FALSE;
    }
    if (waited == WAIT_FAILED) return FALSE;
  }
  return ::GetOverlappedResult(file, overlapped, transferred, FALSE);
}

BOOL CancelIoEx(HANDLE file, OVERLAPPED* overlapped) { return ::CancelIoEx(file, overlapped); }

BOOL GetNamedPipeClientProcessId(HANDLE pipe, ULONG* pid) { return ::GetNamedPipeClientProcessId(pipe, pid); }

BOOL GetNamedPipeServerProcessId(HANDLE pipe, ULONG* pid) { return ::GetNamedPipeServerProcessId(pipe, pid); }

}  // namespace os
