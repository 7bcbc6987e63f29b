#include "process/registry.h"

#include <mutex>
#include <vector>

#include "platform/handle.h"
#include "text/chars.h"

namespace registry {

namespace {

os::unique_hkey open_key(std::u16string_view subkey, REGSAM access) {
  const std::u16string key(subkey);
  os::unique_hkey handle;
  if (os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, access, handle.put()) != ERROR_SUCCESS) handle.release();
  return handle;
}

os::unique_hkey create_key(HKEY root, std::u16string_view subkey) {
  const std::u16string key(subkey);
  os::unique_hkey handle;
  if (os::RegCreateKeyExW(root, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, handle.put(),
                          nullptr) != ERROR_SUCCESS) {
    handle.release();
  }
  return handle;
}

}  // namespace

std::u16string reg_read_string(std::u16string_view subkey, std::u16string_view name, std::u16string_view fallback) {
  constexpr DWORD kMaxChars = 3000;
  os::unique_hkey key = open_key(subkey, KEY_READ);
  if (!key) return std::u16string(fallback);
  // One spare code unit, so that a value stored without its terminator still reads whole.
  std::vector<char16_t> buffer(kMaxChars + 1, u'\0');
  DWORD type = REG_NONE;
  DWORD size = kMaxChars * sizeof(char16_t);
  const std::u16string value_name(name);
  if (os::RegQueryValueExW(key.get(), value_name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                           &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return std::u16string(fallback);
  }
  std::u16string text(buffer.data(), size / sizeof(char16_t));
  const std::size_t nul = text.find(u'\0');
  if (nul != std::u16string::npos) text.resize(nul);
  return text;
}

DWORD reg_read_dword(std::u16string_view subkey, std::u16string_view name, DWORD fallback) {
  os::unique_hkey key = open_key(subkey, KEY_READ);
  if (!key) return fallback;
  DWORD type = REG_NONE;
  DWORD value = 0;
  DWORD size = sizeof value;
  const std::u16string value_name(name);
  if (os::RegQueryValueExW(key.get(), value_name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value) {
    return fallback;
  }
  return value;
}

int reg_write_string(std::u16string_view subkey, std::u16string_view name, std::u16string_view text) {
  os::unique_hkey key = create_key(HKEY_LOCAL_MACHINE, subkey);
  if (!key) return 0;
  const std::u16string value_name(name);
  const DWORD size = static_cast<DWORD>(text.size() * sizeof(char16_t));
  return os::RegSetValueExW(key.get(), value_name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                            size) == ERROR_SUCCESS
             ? 1
             : 0;
}

int reg_write_dword(HKEY root, std::u16string_view subkey, std::u16string_view name, DWORD value) {
  os::unique_hkey key = create_key(root, subkey);
  if (!key) return 0;
  const std::u16string value_name(name);
  return os::RegSetValueExW(key.get(), value_name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                            sizeof value) == ERROR_SUCCESS
             ? 1
             : 0;
}

std::u16string product_name() {
  static std::mutex lock;
  static std::u16string cached;
  std::lock_guard guard(lock);
  if (cached.empty()) {
    cached = reg_read_string(u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", u"ProductName", u"");
  }
  return cached;
}

bool is_windows10_family() { return is_windows10_product(product_name()); }

bool is_windows10_product(std::u16string_view product) {
  const std::u16string name = text::lower_az(product);
  for (std::u16string_view mark : {u"2016", u"2019", u"windows 10"}) {
    if (name.find(mark) != std::u16string::npos) return true;
  }
  return false;
}

bool repair_driver_image_path(std::u16string_view service, std::u16string_view old_file, std::u16string_view new_file) {
  const std::u16string subkey = u"SYSTEM\\CurrentControlSet\\Services\\" + std::u16string(service);
  std::u16string image = reg_read_string(subkey, u"ImagePath", u"");
  if (old_file.empty() || image.find(old_file) == std::u16string::npos) return false;
  for (std::size_t at = image.find(old_file); at != std::u16string::npos; at = image.find(old_file, at + new_file.size())) {
    image.replace(at, old_file.size(), new_file);
  }
  reg_write_string(subkey, u"ImagePath", image);
  return true;
}

}  // namespace registry
