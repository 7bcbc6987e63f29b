// The service control manager of the simulated host (being built: every call fails for now).
#include "platform/os.h"

namespace os {

namespace {
BOOL not_yet() {
  os::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return FALSE;
}
}  // namespace

SC_HANDLE OpenSCManagerW(const char16_t*, const char16_t*, DWORD) { return not_yet(), nullptr; }
SC_HANDLE CreateServiceW(SC_HANDLE, const char16_t*, const char16_t*, DWORD, DWORD, DWORD, DWORD, const char16_t*,
                         const char16_t*, DWORD*, const char16_t*, const char16_t*, const char16_t*) {
  return not_yet(), nullptr;
}
SC_HANDLE OpenServiceW(SC_HANDLE, const char16_t*, DWORD) { return not_yet(), nullptr; }
BOOL StartServiceW(SC_HANDLE, DWORD, const char16_t**) { return not_yet(); }
BOOL ControlService(SC_HANDLE, DWORD, SERVICE_STATUS*) { return not_yet(); }
BOOL QueryServiceStatusEx(SC_HANDLE, SC_STATUS_TYPE, BYTE*, DWORD, DWORD*) { return not_yet(); }
BOOL DeleteService(SC_HANDLE) { return not_yet(); }
BOOL CloseServiceHandle(SC_HANDLE) { return not_yet(); }

}  // namespace os
