// The service control manager through the Win32 service API.
#include "platform/os.h"
#include "platform/win32/text_cast.h"

namespace os {

using win32::wide;

SC_HANDLE OpenSCManagerW(const char16_t* machine, const char16_t* database, DWORD access) {
  return ::OpenSCManagerW(wide(machine), wide(database), access);
}

SC_HANDLE CreateServiceW(SC_HANDLE manager, const char16_t* name, const char16_t* display_name, DWORD access,
                         DWORD service_type, DWORD start_type, DWORD error_control, const char16_t* binary_path,
                         const char16_t* load_order_group, DWORD* tag_id, const char16_t* dependencies,
                         const char16_t* service_start_name, const char16_t* password) {
  return ::CreateServiceW(manager, wide(name), wide(display_name), access, service_type, start_type, error_control,
                          wide(binary_path), wide(load_order_group), tag_id, wide(dependencies),
                          wide(service_start_name), wide(password));
}

SC_HANDLE OpenServiceW(SC_HANDLE manager, const char16_t* name, DWORD access) {
  return ::OpenServiceW(manager, wide(name), access);
}

BOOL StartServiceW(SC_HANDLE service, DWORD argument_count, const char16_t** arguments) {
  return ::StartServiceW(service, argument_count, reinterpret_cast<const wchar_t**>(arguments));
}

BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) {
  return ::ControlService(service, control, status);
}

BOOL QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE level, BYTE* buffer, DWORD size, DWORD* needed) {
  return ::QueryServiceStatusEx(service, level, buffer, size, needed);
}

BOOL DeleteService(SC_HANDLE service) { return ::DeleteService(service); }
BOOL CloseServiceHandle(SC_HANDLE handle) { return ::CloseServiceHandle(handle); }

}  // namespace os
