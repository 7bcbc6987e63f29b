// The values the library keeps in the driver service's registry key: the configuration file's
// path, the admittance folder's path and whether the guard is active.
#include <vector>

#include "library/manager.h"
#include "library/status_text.h"
#include "platform/handle.h"

namespace VostUsbWardenManager {

namespace {

constexpr std::uint32_t kWrongType = 592;  // 0x250
constexpr std::uint32_t kAlreadyExists = 183;

LSTATUS SetText(HKEY key, const char16_t* name, const char16_t* value) {
  const std::u16string_view text = value;
  const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));  // with the terminator
  return os::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes);
}

}  // namespace

std::u16string Manager::ServiceKeyPath() const { return u"SYSTEM\\CurrentControlSet\\services\\" + service_name; }

std::uint32_t Manager::SaveRegistryValues(const char16_t* cfgFile, const char16_t* admittancesFolder, bool active,
                                          std::u16string& status_text) {
  os::unique_hkey key;
  if (const LSTATUS r = os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, ServiceKeyPath().c_str(), 0, KEY_SET_VALUE, key.put())) {
    status_text = ErrText(u"Nieudane otwarcie klucza rejestru", static_cast<std::uint32_t>(r));
    return static_cast<std::uint32_t>(r);
  }
  const DWORD active_value = active ? 1 : 0;
  LSTATUS r = SetText(key.get(), u"ConfigFilePath", cfgFile);
  if (r == ERROR_SUCCESS) r = SetText(key.get(), u"AdmittancesFolderPath", admittancesFolder);
  if (r == ERROR_SUCCESS) {
    r = os::RegSetValueExW(key.get(), u"ServiceActive", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&active_value),
                           sizeof active_value);
  }
  if (r != ERROR_SUCCESS) {
    status_text = ErrText(u"Nieuane zapisanie danych do rejestru", static_cast<std::uint32_t>(r));
    return static_cast<std::uint32_t>(r);
  }
  return 0;
}

std::uint32_t Manager::GetConfigRegSzValue(const std::u16string& valName, std::u16string& result,
                                           std::u16string& status_text) {
  const std::u16string path = u"System\\CurrentControlSet\\services\\" + service_name;
  os::unique_hkey key;
  if (const LSTATUS r = os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put())) {
    status_text = ErrText(u"Nieudane otwarcie klucza rejestru", static_cast<std::uint32_t>(r));
    return static_cast<std::uint32_t>(r);
  }
  DWORD type = 0;
  DWORD size = 0;
  if (const LSTATUS r = os::RegQueryValueExW(key.get(), valName.c_str(), nullptr, &type, nullptr, &size)) {
    status_text = ErrText(u"Nieuane pobranie danych o wartości z rejestru", static_cast<std::uint32_t>(r));
    return static_cast<std::uint32_t>(r);
  }
  if (type != REG_SZ) {
    status_text = ErrText(u"Wartośc rejestru jest niewłasciwego typu", kWrongType);
    return kWrongType;
  }
  // One unit more than the value holds, so a value stored without its terminator comes back whole.
  std::vector<char16_t> buffer(size / 2 + 1, u'\0');
  DWORD buffer_size = static_cast<DWORD>(buffer.size() * sizeof(char16_t));
  if (const LSTATUS r = os::RegQueryValueExW(key.get(), valName.c_str(), nullptr, &type,
                                             reinterpret_cast<BYTE*>(buffer.data()), &buffer_size)) {
    status_text = ErrText(u"Nieudane pobranie wartości z rejestru", static_cast<std::uint32_t>(r));
    return static_cast<std::uint32_t>(r);
  }
  buffer[size / 2] = u'\0';
  result = buffer.data();
  return 0;
}

std::uint32_t Manager::GetConfigFile(std::u16string& result, std::u16string& status_text) {
  return GetConfigRegSzValue(u"ConfigFilePath", result, status_text);
}

std::uint32_t Manager::GetAdmittancesFolder(std::u16string& FullPathName, std::u16string& status_text, bool create) {
  std::u16string path;
  if (const std::uint32_t r = GetConfigRegSzValue(u"AdmittancesFolderPath", path, status_text)) return r;
  if (create && !os::CreateDirectoryW(path.c_str(), nullptr)) {
    const DWORD code = os::GetLastError();
    if (code != kAlreadyExists) {
      status_text = ErrText(u"Nieudane zapewnienie obecności katalogu", code);
      return code;
    }
  }
  FullPathName = path;
  return 0;
}

}  // namespace VostUsbWardenManager
