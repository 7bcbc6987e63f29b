#include "platform/sim/registry_tree.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "text/chars.h"
#include "text/utf.h"

namespace os::sim {

namespace {

bool is_high_surrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low_surrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool is_control(char16_t c) { return c < 0x20 || c == 0x7F; }

bool name_before(const RegistryKey& key, std::u16string_view name) {
  return text::fold_case(key.name) < text::fold_case(name);
}

std::string hex_unit(const char* prefix, char16_t c) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%s%04X", prefix, static_cast<unsigned>(c));
  return buffer;
}

// Appends a code unit (or a valid pair, advancing `i`) as UTF-8.
void append_printable(std::string& out, std::u16string_view s, std::size_t& i) {
  if (is_high_surrogate(s[i]) && i + 1 < s.size() && is_low_surrogate(s[i + 1])) {
    out += text::to_utf8_display(s.substr(i, 2));
    ++i;
  } else {
    out += text::to_utf8_display(s.substr(i, 1));
  }
}

bool is_lone_surrogate(std::u16string_view s, std::size_t i) {
  const char16_t c = s[i];
  if (is_high_surrogate(c)) return !(i + 1 < s.size() && is_low_surrogate(s[i + 1]));
  if (is_low_surrogate(c)) return !(i > 0 && is_high_surrogate(s[i - 1]));
  return false;
}

std::string quote(std::u16string_view s) {
  std::string out = "\"";
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    switch (c) {
      case u'\\': out += "\\\\"; continue;
      case u'"': out += "\\\""; continue;
      case 0: out += "\\0"; continue;
      case u'\t': out += "\\t"; continue;
      case u'\n': out += "\\n"; continue;
      case u'\r': out += "\\r"; continue;
      default: break;
    }
    if (is_control(c) || is_lone_surrogate(s, i)) {
      out += hex_unit("\\u", c);
    } else {
      append_printable(out, s, i);
    }
  }
  return out + "\"";
}

std::string key_component(std::u16string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'%' || is_control(s[i]) || is_lone_surrogate(s, i)) {
      out += hex_unit("%", s[i]);
    } else {
      append_printable(out, s, i);
    }
  }
  return out;
}

std::string hex_bytes(std::string_view data) {
  std::string out;
  char buffer[4];
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, i == 0 ? "%02x" : ",%02x", static_cast<unsigned char>(data[i]));
    out += buffer;
  }
  return out;
}

std::uint64_t little_endian(std::string_view data) {
  std::uint64_t value = 0;
  for (std::size_t i = data.size(); i-- > 0;) value = (value << 8) | static_cast<unsigned char>(data[i]);
  return value;
}

std::string data_text(const RegistryValue& value) {
  const bool text_type = value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
  char buffer[40];
  if (text_type && value.data.size() % 2 == 0) {
    const char* prefix = value.type == REG_SZ ? "sz:" : value.type == REG_EXPAND_SZ ? "expand_sz:" : "multi_sz:";
    return prefix + quote(text::from_utf16le(value.data));
  }
  if (value.type == REG_DWORD && value.data.size() == 4) {
    std::snprintf(buffer, sizeof buffer, "dword:%08llx", static_cast<unsigned long long>(little_endian(value.data)));
    return buffer;
  }
  if (value.type == REG_QWORD && value.data.size() == 8) {
    std::snprintf(buffer, sizeof buffer, "qword:%016llx", static_cast<unsigned long long>(little_endian(value.data)));
    return buffer;
  }
  if (value.type == REG_BINARY) return "hex:" + hex_bytes(value.data);
  std::snprintf(buffer, sizeof buffer, "hex(%x):", static_cast<unsigned>(value.type));
  return buffer + hex_bytes(value.data);
}

void write_key(std::string& out, const RegistryKey& key, const std::string& path) {
  if (!path.empty()) out += "\n[" + path + "]\n";
  for (const RegistryValue& value : key.values) {
    out += (value.name.empty() ? std::string("@") : quote(value.name)) + "=" + data_text(value) + "\n";
  }
  for (const RegistryKey& subkey : key.subkeys) {
    write_key(out, subkey, (path.empty() ? "" : path + "\\") + key_component(subkey.name));
  }
}

// --- Reading ---------------------------------------------------------------------------------

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// 1 to `max_digits` hexadecimal digits, the whole of `s`.
std::optional<std::uint64_t> parse_hex(std::string_view s, std::size_t max_digits) {
  if (s.empty() || s.size() > max_digits) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : s) {
    const int d = hex_digit(c);
    if (d < 0) return std::nullopt;
    value = (value << 4) | static_cast<unsigned>(d);
  }
  return value;
}

// A quoted text starting at `pos`; `pos` ends after the closing quote.
std::optional<std::u16string> parse_quoted(std::string_view line, std::size_t& pos) {
  if (pos >= line.size() || line[pos] != '"') return std::nullopt;
  ++pos;
  std::u16string out;
  std::string run;
  while (pos < line.size()) {
    const char c = line[pos];
    if (c == '"') {
      out += text::from_utf8(run);
      ++pos;
      return out;
    }
    if (c != '\\') {
      run += c;
      ++pos;
      continue;
    }
    out += text::from_utf8(run);
    run.clear();
    if (pos + 1 >= line.size()) return std::nullopt;
    const char e = line[pos + 1];
    pos += 2;
    switch (e) {
      case '\\': out += u'\\'; break;
      case '"': out += u'"'; break;
      case '0': out += char16_t{0}; break;
      case 't': out += u'\t'; break;
      case 'n': out += u'\n'; break;
      case 'r': out += u'\r'; break;
      case 'u': {
        const auto unit = parse_hex(line.substr(pos, 4), 4);
        if (!unit || pos + 4 > line.size()) return std::nullopt;
        out += static_cast<char16_t>(*unit);
        pos += 4;
        break;
      }
      default: return std::nullopt;
    }
  }
  return std::nullopt;
}

std::optional<std::u16string> parse_key_component(std::string_view s) {
  std::u16string out;
  std::string run;
  for (std::size_t i = 0; i < s.size();) {
    if (s[i] != '%') {
      run += s[i++];
      continue;
    }
    const auto unit = parse_hex(s.substr(i + 1, 4), 4);
    if (!unit || i + 5 > s.size()) return std::nullopt;
    out += text::from_utf8(run);
    run.clear();
    out += static_cast<char16_t>(*unit);
    i += 5;
  }
  out += text::from_utf8(run);
  if (out.empty()) return std::nullopt;
  return out;
}

std::optional<std::string> parse_hex_bytes(std::string_view s) {
  std::string out;
  std::size_t pos = 0;
  while (pos < s.size()) {
    if (!out.empty()) {
      if (s[pos] != ',') return std::nullopt;
      ++pos;
    }
    const auto byte = parse_hex(s.substr(pos, 2), 2);
    if (!byte || pos + 2 > s.size()) return std::nullopt;
    out += static_cast<char>(*byte);
    pos += 2;
  }
  return out;
}

std::string little_endian_bytes(std::uint64_t value, std::size_t size) {
  std::string out(size, '\0');
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

std::optional<RegistryValue> parse_value(std::string_view line) {
  RegistryValue value;
  std::size_t pos = 0;
  if (line.substr(0, 1) == "@") {
    pos = 1;
  } else {
    auto name = parse_quoted(line, pos);
    if (!name || name->empty()) return std::nullopt;  // the default value is written "@"
    value.name = std::move(*name);
  }
  if (pos >= line.size() || line[pos] != '=') return std::nullopt;
  const std::string_view data = line.substr(pos + 1);
  const std::size_t colon = data.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::string_view kind = data.substr(0, colon);
  const std::string_view rest = data.substr(colon + 1);

  if (kind == "sz" || kind == "expand_sz" || kind == "multi_sz") {
    value.type = kind == "sz" ? REG_SZ : kind == "expand_sz" ? REG_EXPAND_SZ : REG_MULTI_SZ;
    std::size_t at = 0;
    auto text = parse_quoted(rest, at);
    if (!text || at != rest.size()) return std::nullopt;
    value.data = text::to_utf16le(*text);
  } else if (kind == "dword" || kind == "qword") {
    const std::size_t size = kind == "dword" ? 4 : 8;
    const auto number = parse_hex(rest, size * 2);
    if (!number) return std::nullopt;
    value.type = kind == "dword" ? REG_DWORD : REG_QWORD;
    value.data = little_endian_bytes(*number, size);
  } else {
    std::optional<std::uint64_t> type = REG_BINARY;
    if (kind != "hex") {
      if (kind.size() < 6 || kind.substr(0, 4) != "hex(" || kind.back() != ')') return std::nullopt;
      type = parse_hex(kind.substr(4, kind.size() - 5), 8);
    }
    auto bytes = parse_hex_bytes(rest);
    if (!type || !bytes) return std::nullopt;
    value.type = static_cast<DWORD>(*type);
    value.data = std::move(*bytes);
  }
  return value;
}

}  // namespace

RegistryKey* RegistryKey::find_subkey(std::u16string_view wanted) {
  for (RegistryKey& key : subkeys) {
    if (text::equals_nocase(key.name, wanted)) return &key;
  }
  return nullptr;
}

const RegistryKey* RegistryKey::find_subkey(std::u16string_view wanted) const {
  return const_cast<RegistryKey*>(this)->find_subkey(wanted);
}

RegistryKey& RegistryKey::add_subkey(std::u16string_view new_name) {
  auto at = std::lower_bound(subkeys.begin(), subkeys.end(), new_name, name_before);
  RegistryKey key;
  key.name = std::u16string(new_name);
  return *subkeys.insert(at, std::move(key));
}

bool RegistryKey::remove_subkey(std::u16string_view wanted) {
  for (auto it = subkeys.begin(); it != subkeys.end(); ++it) {
    if (text::equals_nocase(it->name, wanted)) {
      subkeys.erase(it);
      return true;
    }
  }
  return false;
}

RegistryValue* RegistryKey::find_value(std::u16string_view wanted) {
  for (RegistryValue& value : values) {
    if (text::equals_nocase(value.name, wanted)) return &value;
  }
  return nullptr;
}

const RegistryValue* RegistryKey::find_value(std::u16string_view wanted) const {
  return const_cast<RegistryKey*>(this)->find_value(wanted);
}

void RegistryKey::set_value(std::u16string_view value_name, DWORD type, std::string data) {
  if (RegistryValue* existing = find_value(value_name)) {
    existing->type = type;
    existing->data = std::move(data);
    return;
  }
  values.push_back(RegistryValue{std::u16string(value_name), type, std::move(data)});
}

bool RegistryKey::remove_value(std::u16string_view wanted) {
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (text::equals_nocase(it->name, wanted)) {
      values.erase(it);
      return true;
    }
  }
  return false;
}

RegistryKey* find_key(RegistryKey& root, const KeyPath& path) {
  RegistryKey* key = &root;
  for (const std::u16string& name : path) {
    key = key->find_subkey(name);
    if (!key) return nullptr;
  }
  return key;
}

const RegistryKey* find_key(const RegistryKey& root, const KeyPath& path) {
  return find_key(const_cast<RegistryKey&>(root), path);
}

std::string to_text(const RegistryKey& root) {
  std::string out =
      "# The registry of a simulated Windows machine: HKEY_LOCAL_MACHINE.\n"
      "# Written whole on every change; edit it with \"vostusb-sim reg\" while programs may run.\n";
  write_key(out, root, "");
  return out;
}

std::optional<RegistryKey> from_text(std::string_view text, std::size_t* bad_line) {
  RegistryKey root;
  RegistryKey* current = &root;
  std::size_t number = 0;
  const auto fail = [&]() -> std::optional<RegistryKey> {
    if (bad_line) *bad_line = number;
    return std::nullopt;
  };
  while (!text.empty()) {
    ++number;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      if (line.back() != ']') return fail();
      std::string_view path = line.substr(1, line.size() - 2);
      current = &root;
      while (!path.empty()) {
        const std::size_t slash = path.find('\\');
        const auto name = parse_key_component(path.substr(0, slash));
        if (!name) return fail();
        RegistryKey* next = current->find_subkey(*name);
        current = next ? next : &current->add_subkey(*name);
        path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
        if (slash != std::string_view::npos && path.empty()) return fail();
      }
      continue;
    }
    auto value = parse_value(line);
    if (!value) return fail();
    current->set_value(value->name, value->type, std::move(value->data));
  }
  return root;
}

}  // namespace os::sim
