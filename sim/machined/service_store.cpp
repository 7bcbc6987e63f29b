#include "service_store.h"

#include "platform/handle.h"
#include "text/chars.h"

namespace machined {

namespace {

std::u16string key_path(std::u16string_view name) { return std::u16string(kServicesKey) + u"\\" + std::u16string(name); }

std::optional<DWORD> read_dword(HKEY key, const char16_t* name) {
  DWORD type = 0, value = 0, size = sizeof value;
  if (os::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value) {
    return std::nullopt;
  }
  return value;
}

std::u16string read_text(HKEY key, const char16_t* name) {
  DWORD type = 0, size = 0;
  if (os::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return {};
  }
  std::u16string text(size / 2, u'\0');
  if (os::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS) {
    return {};
  }
  text.resize(size / 2);
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

LSTATUS set_dword(HKEY key, const char16_t* name, DWORD value) {
  return os::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

LSTATUS set_text(HKEY key, const char16_t* name, DWORD type, const std::u16string& value) {
  return os::RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
}

// The name of subkey `index`, or nullopt past the last.
std::optional<std::u16string> subkey_name(HKEY key, DWORD index) {
  char16_t name[256];
  DWORD size = 256;
  if (os::RegEnumKeyExW(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return std::nullopt;
  return std::u16string(name, size);
}

LSTATUS delete_tree(HKEY parent, const std::u16string& name) {
  {
    os::unique_hkey key;
    const LSTATUS opened = os::RegOpenKeyExW(parent, name.c_str(), 0, KEY_ALL_ACCESS, key.put());
    if (opened != ERROR_SUCCESS) return opened;
    while (auto child = subkey_name(key.get(), 0)) {
      const LSTATUS removed = delete_tree(key.get(), *child);
      if (removed != ERROR_SUCCESS) return removed;
    }
  }
  return os::RegDeleteKeyW(parent, name.c_str());
}

// The values of a key whose own spelling is `name`.
std::optional<ServiceConfig> read_key(const std::u16string& name) {
  os::unique_hkey key;
  if (os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_path(name).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  const auto type = read_dword(key.get(), u"Type");
  if (!type) return std::nullopt;
  ServiceConfig config;
  config.name = name;
  config.type = *type;
  config.start = read_dword(key.get(), u"Start").value_or(SERVICE_DEMAND_START);
  config.error_control = read_dword(key.get(), u"ErrorControl").value_or(SERVICE_ERROR_NORMAL);
  config.image_path = read_text(key.get(), u"ImagePath");
  config.display_name = read_text(key.get(), u"DisplayName");
  config.group = read_text(key.get(), u"Group");
  config.delete_flag = read_dword(key.get(), u"DeleteFlag").value_or(0) != 0;
  return config;
}

std::vector<std::u16string> service_key_names() {
  std::vector<std::u16string> names;
  os::unique_hkey key;
  if (os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServicesKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    auto name = subkey_name(key.get(), i);
    if (!name) break;
    names.push_back(std::move(*name));
  }
  return names;
}

}  // namespace

std::optional<ServiceConfig> read_service(std::u16string_view name) {
  for (const std::u16string& listed : service_key_names()) {
    if (text::equals_nocase(listed, name)) return read_key(listed);
  }
  return std::nullopt;
}

std::vector<ServiceConfig> all_services() {
  std::vector<ServiceConfig> services;
  for (const std::u16string& name : service_key_names()) {
    if (auto config = read_key(name)) services.push_back(std::move(*config));
  }
  return services;
}

LSTATUS write_service(const ServiceConfig& config) {
  os::unique_hkey key;
  LSTATUS result = os::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key_path(config.name).c_str(), 0, nullptr,
                                       REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
  if (result != ERROR_SUCCESS) return result;
  if ((result = set_dword(key.get(), u"Type", config.type)) != ERROR_SUCCESS) return result;
  if ((result = set_dword(key.get(), u"Start", config.start)) != ERROR_SUCCESS) return result;
  if ((result = set_dword(key.get(), u"ErrorControl", config.error_control)) != ERROR_SUCCESS) return result;
  if ((result = set_text(key.get(), u"ImagePath", REG_EXPAND_SZ, config.image_path)) != ERROR_SUCCESS) return result;
  if ((result = set_text(key.get(), u"DisplayName", REG_SZ, config.display_name)) != ERROR_SUCCESS) return result;
  if (!config.group.empty()) result = set_text(key.get(), u"Group", REG_SZ, config.group);
  return result;
}

LSTATUS set_delete_flag(std::u16string_view name) {
  os::unique_hkey key;
  const LSTATUS opened = os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_path(name).c_str(), 0, KEY_SET_VALUE, key.put());
  if (opened != ERROR_SUCCESS) return opened;
  return set_dword(key.get(), u"DeleteFlag", 1);
}

LSTATUS remove_service(std::u16string_view name) {
  os::unique_hkey services;
  const LSTATUS opened = os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServicesKey, 0, KEY_ALL_ACCESS, services.put());
  if (opened != ERROR_SUCCESS) return opened;
  return delete_tree(services.get(), std::u16string(name));
}

std::u16string read_text_value(std::u16string_view name, const char16_t* value) {
  os::unique_hkey key;
  if (os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_path(name).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return {};
  return read_text(key.get(), value);
}

}  // namespace machined
