// reg show / set / delete, through the platform's registry calls (the same registry the
// product's processes see).
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "platform/handle.h"
#include "platform/os.h"
#include "text/chars.h"
#include "text/format.h"
#include "text/utf.h"

namespace sim_cli {

namespace {

constexpr DWORD kMaxValueName = 16384;
constexpr DWORD kMaxKeyName = 256;

struct KeyName {
  std::u16string subkey;   // below HKEY_LOCAL_MACHINE, "" for the root itself
  std::string display;     // HKEY_LOCAL_MACHINE\...
};

// "HKLM\a\b" or "HKEY_LOCAL_MACHINE\a\b" (root names without case); nothing for other roots.
std::optional<KeyName> parse_key(const std::string& text) {
  const std::u16string whole = text::from_utf8(text);
  const std::size_t slash = whole.find(u'\\');
  const std::u16string root = whole.substr(0, slash);
  if (!text::equals_nocase(root, u"HKLM") && !text::equals_nocase(root, u"HKEY_LOCAL_MACHINE")) return std::nullopt;
  KeyName key;
  key.subkey = slash == std::u16string::npos ? u"" : whole.substr(slash + 1);
  while (!key.subkey.empty() && key.subkey.back() == u'\\') key.subkey.pop_back();
  key.display = "HKEY_LOCAL_MACHINE" + (key.subkey.empty() ? std::string() : "\\" + text::to_utf8_display(key.subkey));
  return key;
}

std::string error_text(LSTATUS status) {
  switch (status) {
    case ERROR_FILE_NOT_FOUND: return "not found";
    case ERROR_ACCESS_DENIED: return "access denied";
    case ERROR_BADDB: return "the registry file is damaged (see its line in the file)";
    case ERROR_BAD_PATHNAME: return "bad key path";
    default: return "error " + std::to_string(status);
  }
}

std::string type_name(DWORD type) {
  switch (type) {
    case REG_NONE: return "REG_NONE";
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    case REG_QWORD: return "REG_QWORD";
    default: return text::to_utf8(text::format(u"0x%x", type));
  }
}

std::string hex_bytes(const std::string& data) {
  std::string out;
  for (std::size_t i = 0; i < data.size(); ++i) {
    out += text::to_utf8(text::format(i == 0 ? u"%02x" : u" %02x", static_cast<unsigned>(static_cast<unsigned char>(data[i]))));
  }
  return out;
}

// Data as a person reads it: strings as text (inner NULs as "\0", and a note when the terminator
// is not stored), numbers in hexadecimal and decimal, everything else as bytes.
std::string data_text(DWORD type, const std::string& data) {
  const bool text_type = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
  if (text_type && data.size() % 2 == 0) {
    std::u16string units = text::from_utf16le(data);
    const bool terminated = !units.empty() && units.back() == 0;
    if (terminated) units.pop_back();
    std::string out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= units.size(); ++i) {
      if (i == units.size() || units[i] == 0) {
        out += text::to_utf8_display(std::u16string_view(units).substr(start, i - start));
        if (i < units.size()) out += "\\0";
        start = i + 1;
      }
    }
    return terminated ? out : out + "   (stored without terminator)";
  }
  if ((type == REG_DWORD && data.size() == 4) || (type == REG_QWORD && data.size() == 8)) {
    unsigned long long value = 0;
    for (std::size_t i = data.size(); i-- > 0;) value = (value << 8) | static_cast<unsigned char>(data[i]);
    return text::to_utf8(text::format(type == REG_DWORD ? u"0x%08llx (%llu)" : u"0x%016llx (%llu)", value, value));
  }
  return hex_bytes(data);
}

LSTATUS print_values(HKEY key) {
  std::vector<char16_t> name(kMaxValueName);
  for (DWORD index = 0;; ++index) {
    DWORD name_size = kMaxValueName;
    DWORD type = 0, size = 0;
    LSTATUS status = os::RegEnumValueW(key, index, name.data(), &name_size, nullptr, &type, nullptr, &size);
    if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    std::string data(size, '\0');
    status = os::RegQueryValueExW(key, name.data(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    if (status != ERROR_SUCCESS) return status;
    data.resize(size);
    const std::string shown_name = name_size == 0 ? "(Default)" : text::to_utf8_display(std::u16string_view(name.data(), name_size));
    std::printf("    %s    %s    %s\n", shown_name.c_str(), type_name(type).c_str(), data_text(type, data).c_str());
  }
}

LSTATUS show_tree(HKEY parent, const std::u16string& subkey, const std::string& display) {
  os::unique_hkey key;
  LSTATUS status = os::RegOpenKeyExW(parent, subkey.empty() ? nullptr : subkey.c_str(), 0, KEY_READ, key.put());
  if (status != ERROR_SUCCESS) return status;
  std::printf("%s\n", display.c_str());
  if ((status = print_values(key.get())) != ERROR_SUCCESS) return status;
  std::printf("\n");
  char16_t name[kMaxKeyName];
  for (DWORD index = 0;; ++index) {
    DWORD size = kMaxKeyName;
    status = os::RegEnumKeyExW(key.get(), index, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    const std::u16string child(name, size);
    if ((status = show_tree(key.get(), child, display + "\\" + text::to_utf8_display(child))) != ERROR_SUCCESS) return status;
  }
}

// Deletes a key and everything below it, leaves first (Win32 deletes only keys without subkeys).
LSTATUS delete_tree(HKEY parent, const std::u16string& subkey) {
  {
    os::unique_hkey key;
    LSTATUS status = os::RegOpenKeyExW(parent, subkey.c_str(), 0, KEY_READ, key.put());
    if (status != ERROR_SUCCESS) return status;
    char16_t name[kMaxKeyName];
    for (;;) {
      DWORD size = kMaxKeyName;
      status = os::RegEnumKeyExW(key.get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr);
      if (status == ERROR_NO_MORE_ITEMS) break;
      if (status != ERROR_SUCCESS) return status;
      if ((status = delete_tree(key.get(), std::u16string(name, size))) != ERROR_SUCCESS) return status;
    }
  }
  return os::RegDeleteKeyW(parent, subkey.c_str());
}

std::optional<DWORD> parse_dword(const std::string& text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  if (digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos) return std::nullopt;
  const unsigned long long value = std::stoull(digits, nullptr, hex ? 16 : 10);
  if (value > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<DWORD>(value);
}

int reg_show(const Args& args) {
  if (args.size() > 1) return fail(kBadInput, "usage: reg show [KEY]");
  const auto key = parse_key(args.empty() ? "HKLM" : args[0]);
  if (!key) return fail(kBadInput, "'" + args[0] + "' is not a key of HKEY_LOCAL_MACHINE, the simulated machine's only root");
  const LSTATUS status = show_tree(HKEY_LOCAL_MACHINE, key->subkey, key->display);
  if (status != ERROR_SUCCESS) return fail(kRefused, key->display + ": " + error_text(status));
  return 0;
}

int reg_set(const Args& args) {
  if (args.size() != 4) return fail(kBadInput, "usage: reg set KEY NAME sz|expand_sz|dword VALUE");
  const auto key = parse_key(args[0]);
  if (!key || key->subkey.empty()) return fail(kBadInput, "'" + args[0] + "' is not a key below HKLM");
  std::string data;
  DWORD type = 0;
  if (args[2] == "sz" || args[2] == "expand_sz") {
    type = args[2] == "sz" ? REG_SZ : REG_EXPAND_SZ;
    const std::u16string value = text::from_utf8(args[3]);
    data = text::to_utf16le(std::u16string_view(value.c_str(), value.size() + 1));  // with its terminator, as reg.exe
  } else if (args[2] == "dword") {
    const auto number = parse_dword(args[3]);
    if (!number) return fail(kBadInput, "'" + args[3] + "' is not a 32-bit number (decimal or 0x...)");
    type = REG_DWORD;
    data = std::string(reinterpret_cast<const char*>(&*number), 4);
  } else {
    return fail(kBadInput, "unknown type '" + args[2] + "' (sz, expand_sz or dword)");
  }
  os::unique_hkey opened;
  LSTATUS status = os::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key->subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                       opened.put(), nullptr);
  if (status == ERROR_SUCCESS) {
    const std::u16string name = text::from_utf8(args[1]);
    status = os::RegSetValueExW(opened.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                static_cast<DWORD>(data.size()));
  }
  if (status != ERROR_SUCCESS) return fail(kRefused, key->display + ": " + error_text(status));
  return 0;
}

int reg_delete(const Args& args) {
  if (args.empty() || args.size() > 2) return fail(kBadInput, "usage: reg delete KEY [NAME]");
  const auto key = parse_key(args[0]);
  if (!key || key->subkey.empty()) return fail(kBadInput, "'" + args[0] + "' is not a key below HKLM");
  LSTATUS status;
  if (args.size() == 2) {
    os::unique_hkey opened;
    status = os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key->subkey.c_str(), 0, KEY_SET_VALUE, opened.put());
    if (status == ERROR_SUCCESS) status = os::RegDeleteValueW(opened.get(), text::from_utf8(args[1]).c_str());
    if (status != ERROR_SUCCESS) return fail(kRefused, key->display + " " + args[1] + ": " + error_text(status));
    return 0;
  }
  status = delete_tree(HKEY_LOCAL_MACHINE, key->subkey);
  if (status != ERROR_SUCCESS) return fail(kRefused, key->display + ": " + error_text(status));
  return 0;
}

}  // namespace

int cmd_reg(const Args& args) {
  const Args rest(args.begin() + (args.empty() ? 0 : 1), args.end());
  if (!args.empty() && args[0] == "show") return reg_show(rest);
  if (!args.empty() && args[0] == "set") return reg_set(rest);
  if (!args.empty() && args[0] == "delete") return reg_delete(rest);
  return fail(kBadInput, "usage: reg show|set|delete ... (see --help)");
}

}  // namespace sim_cli
