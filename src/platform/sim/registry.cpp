// The registry calls on HKEY_LOCAL_MACHINE. An HKEY is a handle in the handle table naming its key
// by path; each call works on the stored registry (registry_store.h), so every process of the
// machine sees every change at once.
#include <cstring>
#include <memory>
#include <optional>

#include "platform/os.h"
#include "platform/sim/handles.h"
#include "platform/sim/registry_store.h"

namespace os {

namespace {

using sim::KeyPath;
using sim::RegistryKey;
using sim::RegistryValue;

class KeyObject final : public sim::KernelObject {
 public:
  KeyObject(KeyPath path, REGSAM access) : path(std::move(path)), access(access) {}
  const KeyPath path;
  const REGSAM access;
};

struct OpenKey {
  KeyPath path;
  REGSAM access = 0;
};

// The key behind an HKEY; nothing for other roots and for handles that are not open keys.
std::optional<OpenKey> open_key(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) return OpenKey{{}, KEY_ALL_ACCESS};
  auto object = sim::find_handle_as<KeyObject>(reinterpret_cast<HANDLE>(key));
  if (!object) return std::nullopt;
  return OpenKey{object->path, object->access};
}

REGSAM granted_access(REGSAM requested) {
  REGSAM access = requested & (KEY_ALL_ACCESS | DELETE);
  if (requested & GENERIC_READ) access |= KEY_READ;
  if (requested & GENERIC_WRITE) access |= KEY_WRITE;
  if (requested & (GENERIC_ALL | MAXIMUM_ALLOWED)) access |= KEY_ALL_ACCESS;
  return access;
}

// "a\b\c" as its names; a trailing backslash is allowed, an empty name elsewhere is not.
LSTATUS split_subkey(const char16_t* subkey, KeyPath& names) {
  if (!subkey) return ERROR_SUCCESS;
  std::u16string_view rest(subkey);
  while (!rest.empty()) {
    const std::size_t slash = rest.find(u'\\');
    const std::u16string_view name = rest.substr(0, slash);
    if (name.empty()) return ERROR_BAD_PATHNAME;
    names.emplace_back(name);
    rest.remove_prefix(slash == std::u16string_view::npos ? rest.size() : slash + 1);
  }
  return ERROR_SUCCESS;
}

KeyPath joined(const KeyPath& base, const KeyPath& relative) {
  KeyPath path = base;
  path.insert(path.end(), relative.begin(), relative.end());
  return path;
}

HKEY new_key_handle(KeyPath path, REGSAM access) {
  return reinterpret_cast<HKEY>(sim::add_handle(std::make_shared<KeyObject>(std::move(path), granted_access(access))));
}

std::u16string_view value_name(const char16_t* name) { return name ? std::u16string_view(name) : std::u16string_view(); }

// Copies a name with its terminator when the buffer holds both (size in characters, terminator
// included on input, excluded on output), as the enumeration calls do.
LSTATUS copy_name(const std::u16string& name, char16_t* buffer, DWORD* size) {
  if (name.size() >= *size) return ERROR_MORE_DATA;
  name.copy(buffer, name.size());
  buffer[name.size()] = 0;
  *size = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

// Data out of a value with Win32's size rules: a size query without a buffer, ERROR_MORE_DATA
// with the needed size for a small buffer.
LSTATUS copy_data(const RegistryValue& value, DWORD* type, BYTE* data, DWORD* size) {
  if (type) *type = value.type;
  if (!size) return ERROR_SUCCESS;
  const auto needed = static_cast<DWORD>(value.data.size());
  if (data && *size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  if (data) std::memcpy(data, value.data.data(), value.data.size());
  *size = needed;
  return ERROR_SUCCESS;
}

}  // namespace

LSTATUS RegOpenKeyExW(HKEY root, const char16_t* subkey, DWORD, REGSAM access, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  const auto base = open_key(root);
  if (!base) return ERROR_INVALID_HANDLE;
  KeyPath relative;
  if (const LSTATUS status = split_subkey(subkey, relative); status != ERROR_SUCCESS) return status;
  const LSTATUS status = sim::read_registry([&](const RegistryKey& tree) -> LSTATUS {
    const RegistryKey* parent = sim::find_key(tree, base->path);
    if (!parent) return ERROR_KEY_DELETED;
    return sim::find_key(*parent, relative) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
  if (status == ERROR_SUCCESS) *result = new_key_handle(joined(base->path, relative), access);
  return status;
}

LSTATUS RegCreateKeyExW(HKEY root, const char16_t* subkey, DWORD, char16_t*, DWORD, REGSAM access,
                        SECURITY_ATTRIBUTES*, HKEY* result, DWORD* disposition) {
  if (!result || !subkey) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  const auto base = open_key(root);
  if (!base) return ERROR_INVALID_HANDLE;
  KeyPath relative;
  if (const LSTATUS status = split_subkey(subkey, relative); status != ERROR_SUCCESS) return status;
  bool created = false;
  const LSTATUS status = sim::change_registry([&](RegistryKey& tree, bool& changed) -> LSTATUS {
    RegistryKey* key = sim::find_key(tree, base->path);
    if (!key) return ERROR_KEY_DELETED;
    if (sim::find_key(*key, relative)) return ERROR_SUCCESS;
    if (!(base->access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    for (const std::u16string& name : relative) {
      RegistryKey* next = key->find_subkey(name);
      key = next ? next : &key->add_subkey(name);
    }
    created = changed = true;
    return ERROR_SUCCESS;
  });
  if (status != ERROR_SUCCESS) return status;
  *result = new_key_handle(joined(base->path, relative), access);
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExW(HKEY key, const char16_t* name, DWORD*, DWORD* type, BYTE* data, DWORD* size) {
  const auto open = open_key(key);
  if (!open) return ERROR_INVALID_HANDLE;
  if (data && !size) return ERROR_INVALID_PARAMETER;
  if (!(open->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  return sim::read_registry([&](const RegistryKey& tree) -> LSTATUS {
    const RegistryKey* found = sim::find_key(tree, open->path);
    if (!found) return ERROR_KEY_DELETED;
    const RegistryValue* value = found->find_value(value_name(name));
    if (!value) return ERROR_FILE_NOT_FOUND;
    return copy_data(*value, type, data, size);
  });
}

LSTATUS RegSetValueExW(HKEY key, const char16_t* name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  const auto open = open_key(key);
  if (!open) return ERROR_INVALID_HANDLE;
  if (!data && size > 0) return ERROR_NOACCESS;
  if (!(open->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  std::string bytes(reinterpret_cast<const char*>(data), data ? size : 0);
  return sim::change_registry([&](RegistryKey& tree, bool& changed) -> LSTATUS {
    RegistryKey* found = sim::find_key(tree, open->path);
    if (!found) return ERROR_KEY_DELETED;
    found->set_value(value_name(name), type, std::move(bytes));
    changed = true;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegDeleteValueW(HKEY key, const char16_t* name) {
  const auto open = open_key(key);
  if (!open) return ERROR_INVALID_HANDLE;
  if (!(open->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  return sim::change_registry([&](RegistryKey& tree, bool& changed) -> LSTATUS {
    RegistryKey* found = sim::find_key(tree, open->path);
    if (!found) return ERROR_KEY_DELETED;
    if (!found->remove_value(value_name(name))) return ERROR_FILE_NOT_FOUND;
    changed = true;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegDeleteKeyW(HKEY root, const char16_t* subkey) {
  if (!subkey) return ERROR_INVALID_PARAMETER;
  const auto base = open_key(root);
  if (!base) return ERROR_INVALID_HANDLE;
  KeyPath relative;
  if (const LSTATUS status = split_subkey(subkey, relative); status != ERROR_SUCCESS) return status;
  const KeyPath path = joined(base->path, relative);
  if (path.empty()) return ERROR_ACCESS_DENIED;  // the root itself
  const KeyPath parent_path(path.begin(), path.end() - 1);
  return sim::change_registry([&](RegistryKey& tree, bool& changed) -> LSTATUS {
    if (!sim::find_key(tree, base->path)) return ERROR_KEY_DELETED;
    RegistryKey* parent = sim::find_key(tree, parent_path);
    const RegistryKey* doomed = parent ? parent->find_subkey(path.back()) : nullptr;
    if (!doomed) return ERROR_FILE_NOT_FOUND;
    if (!doomed->subkeys.empty()) return ERROR_ACCESS_DENIED;  // Win32 deletes leaves only
    parent->remove_subkey(path.back());
    changed = true;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegEnumKeyExW(HKEY key, DWORD index, char16_t* name, DWORD* name_size, DWORD*, char16_t* key_class,
                      DWORD* class_size, FILETIME* last_write) {
  const auto open = open_key(key);
  if (!open) return ERROR_INVALID_HANDLE;
  if (!name || !name_size) return ERROR_INVALID_PARAMETER;
  if (!(open->access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  return sim::read_registry([&](const RegistryKey& tree) -> LSTATUS {
    const RegistryKey* found = sim::find_key(tree, open->path);
    if (!found) return ERROR_KEY_DELETED;
    if (index >= found->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    if (const LSTATUS status = copy_name(found->subkeys[index].name, name, name_size); status != ERROR_SUCCESS) {
      return status;
    }
    // Keys carry no class and no write time here.
    if (class_size) {
      if (key_class && *class_size > 0) key_class[0] = 0;
      *class_size = 0;
    }
    if (last_write) *last_write = FILETIME{0, 0};
    return ERROR_SUCCESS;
  });
}

LSTATUS RegEnumValueW(HKEY key, DWORD index, char16_t* name, DWORD* name_size, DWORD*, DWORD* type, BYTE* data,
                      DWORD* data_size) {
  const auto open = open_key(key);
  if (!open) return ERROR_INVALID_HANDLE;
  if (!name || !name_size || (data && !data_size)) return ERROR_INVALID_PARAMETER;
  if (!(open->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  return sim::read_registry([&](const RegistryKey& tree) -> LSTATUS {
    const RegistryKey* found = sim::find_key(tree, open->path);
    if (!found) return ERROR_KEY_DELETED;
    if (index >= found->values.size()) return ERROR_NO_MORE_ITEMS;
    const RegistryValue& value = found->values[index];
    if (const LSTATUS status = copy_name(value.name, name, name_size); status != ERROR_SUCCESS) return status;
    return copy_data(value, type, data, data_size);
  });
}

LSTATUS RegCloseKey(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;  // predefined keys are never closed
  const HANDLE handle = reinterpret_cast<HANDLE>(key);
  if (!sim::find_handle_as<KeyObject>(handle) || !sim::remove_handle(handle)) return ERROR_INVALID_HANDLE;
  return ERROR_SUCCESS;
}

}  // namespace os
