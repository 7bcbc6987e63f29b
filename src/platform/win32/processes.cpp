// Processes: the current one, enumeration by id, image paths, ending and exit codes.
#include "platform/os.h"
#include "platform/win32/text_cast.h"

namespace os {

using win32::wide;

HANDLE GetCurrentProcess() { return ::GetCurrentProcess(); }
DWORD GetCurrentProcessId() { return ::GetCurrentProcessId(); }
BOOL EnumProcesses(DWORD* ids, DWORD size, DWORD* needed) { return ::EnumProcesses(ids, size, needed); }
HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD pid) { return ::OpenProcess(access, inherit, pid); }

DWORD GetModuleFileNameExW(HANDLE process, HMODULE module, char16_t* buffer, DWORD size) {
  return ::GetModuleFileNameExW(process, module, wide(buffer), size);
}

BOOL QueryFullProcessImageNameW(HANDLE process, DWORD flags, char16_t* buffer, DWORD* size) {
  return ::QueryFullProcessImageNameW(process, flags, wide(buffer), size);
}

BOOL EnumProcessModules(HANDLE process, HMODULE* modules, DWORD size, DWORD* needed) {
  return ::EnumProcessModules(process, modules, size, needed);
}

DWORD GetModuleBaseNameW(HANDLE process, HMODULE module, char16_t* buffer, DWORD size) {
  return ::GetModuleBaseNameW(process, module, wide(buffer), size);
}

BOOL TerminateProcess(HANDLE process, UINT exit_code) { return ::TerminateProcess(process, exit_code); }
BOOL GetExitCodeProcess(HANDLE process, DWORD* exit_code) { return ::GetExitCodeProcess(process, exit_code); }

BOOL GetProcessTimes(HANDLE process, FILETIME* creation_time, FILETIME* exit_time, FILETIME* kernel_time, FILETIME* user_time) {
  return ::GetProcessTimes(process, creation_time, exit_time, kernel_time, user_time);
}

}  // namespace os
