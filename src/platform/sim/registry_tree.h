// The registry of the simulated machine in memory, and its text form on disk.
//
// The text form is line-based and close to the ".reg" files people know:
//   [Software\kavenor]                 a key, by its full path (empty keys are listed too)
//   "RootPath"=sz:"C:\\Program Files"  a value: name, type, data
//   @=dword:0000002a                   the key's default value
// Data forms: sz, expand_sz and multi_sz take the UTF-16 code units as quoted text (so a string
// stored without its terminator reads back without it, and "\0" shows a stored NUL); dword
// (exactly 4 bytes) and qword (exactly 8) take hexadecimal numbers; everything else, odd-sized
// strings included, is hex(TYPE):bytes with TYPE in hexadecimal (plain "hex:" is REG_BINARY).
// In quoted text "\\", "\"", "\0", "\t", "\n", "\r" and "\uXXXX" are escapes; in key paths "%XXXX"
// stands for a control character, a lone surrogate or "%" itself. Lines starting with "#" are
// comments. Values before the first key line belong to the root.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os.h"

namespace os::sim {

struct RegistryValue {
  std::u16string name;  // "" is the default value
  DWORD type = REG_NONE;
  std::string data;     // the bytes exactly as stored
};

// One key. Names keep their spelling and compare without case; subkeys are kept in
// case-insensitive order (as Windows enumerates them), values in the order they were created.
struct RegistryKey {
  std::u16string name;
  std::vector<RegistryValue> values;
  std::vector<RegistryKey> subkeys;

  RegistryKey* find_subkey(std::u16string_view wanted);
  const RegistryKey* find_subkey(std::u16string_view wanted) const;
  RegistryKey& add_subkey(std::u16string_view new_name);
  bool remove_subkey(std::u16string_view wanted);

  RegistryValue* find_value(std::u16string_view wanted);
  const RegistryValue* find_value(std::u16string_view wanted) const;
  // Replaces the data and type of an existing value (keeping its spelling) or appends a new one.
  void set_value(std::u16string_view value_name, DWORD type, std::string data);
  bool remove_value(std::u16string_view wanted);
};

using KeyPath = std::vector<std::u16string>;

// The key at `path` below `root`, or null.
RegistryKey* find_key(RegistryKey& root, const KeyPath& path);
const RegistryKey* find_key(const RegistryKey& root, const KeyPath& path);

std::string to_text(const RegistryKey& root);

// The tree of a text form; nothing when a line cannot be read (its 1-based number in `bad_line`).
std::optional<RegistryKey> from_text(std::string_view text, std::size_t* bad_line = nullptr);

}  // namespace os::sim
