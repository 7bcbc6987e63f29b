// The registry through the Win32 registry API.
#include "platform/os.h"
#include "platform/win32/text_cast.h"

namespace os {

using win32::wide;

LSTATUS RegOpenKeyExW(HKEY root, const char16_t* subkey, DWORD options, REGSAM access, HKEY* result) {
  return ::RegOpenKeyExW(root, wide(subkey), options, access, result);
}

LSTATUS RegCreateKeyExW(HKEY root, const char16_t* subkey, DWORD reserved, char16_t* key_class, DWORD options,
                        REGSAM access, SECURITY_ATTRIBUTES* security, HKEY* result, DWORD* disposition) {
  return ::RegCreateKeyExW(root, wide(subkey), reserved, wide(key_class), options, access, security, result,
                           disposition);
}

LSTATUS RegQueryValueExW(HKEY key, const char16_t* name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size) {
  return ::RegQueryValueExW(key, wide(name), reserved, type, data, size);
}

LSTATUS RegSetValueExW(HKEY key, const char16_t* name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
  return ::RegSetValueExW(key, wide(name), reserved, type, data, size);
}

LSTATUS RegDeleteValueW(HKEY key, const char16_t* name) { return ::RegDeleteValueW(key, wide(name)); }
LSTATUS RegDeleteKeyW(HKEY root, const char16_t* subkey) { return ::RegDeleteKeyW(root, wide(subkey)); }

LSTATUS RegEnumKeyExW(HKEY key, DWORD index, char16_t* name, DWORD* name_size, DWORD* reserved, char16_t* key_class,
                      DWORD* class_size, FILETIME* last_write) {
  return ::RegEnumKeyExW(key, index, wide(name), name_size, reserved, wide(key_class), class_size, last_write);
}

LSTATUS RegEnumValueW(HKEY key, DWORD index, char16_t* name, DWORD* name_size, DWORD* reserved, DWORD* type,
                      BYTE* data, DWORD* data_size) {
  return ::RegEnumValueW(key, index, wide(name), name_size, reserved, type, data, data_size);
}

LSTATUS RegCloseKey(HKEY key) { return ::RegCloseKey(key); }

}  // namespace os
