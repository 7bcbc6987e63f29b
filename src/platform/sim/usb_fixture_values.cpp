// Values in USB fixtures: hex bytes, numbers, GUIDs and device registry properties.
#include <cstdio>
#include <cstring>

#include "platform/sim/usb_fixture_detail.h"
#include "text/utf.h"

namespace os::sim::usb::detail {

namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

const PropertyName kProperties[] = {
    {"DeviceDescription", CM_DRP_DEVICEDESC, PropertyShape::text},
    {"HardwareID", CM_DRP_HARDWAREID, PropertyShape::texts},
    {"CompatibleIDs", CM_DRP_COMPATIBLEIDS, PropertyShape::texts},
    {"Service", CM_DRP_SERVICE, PropertyShape::text},
    {"ClassName", CM_DRP_CLASS, PropertyShape::text},
    {"ClassGuid", CM_DRP_CLASSGUID, PropertyShape::text},
    {"DriverKeyName", CM_DRP_DRIVER, PropertyShape::text},
    {"Manufacturer", CM_DRP_MFG, PropertyShape::text},
    {"FriendlyName", CM_DRP_FRIENDLYNAME, PropertyShape::text},
    {"LocationInformation", CM_DRP_LOCATION_INFORMATION, PropertyShape::text},
    {"PhysicalDeviceObjectName", CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME, PropertyShape::text},
    {"UINumber", CM_DRP_UI_NUMBER, PropertyShape::number},
    {"BusTypeGuid", CM_DRP_BUSTYPEGUID, PropertyShape::guid},
    {"LegacyBusType", CM_DRP_LEGACYBUSTYPE, PropertyShape::number},
    {"BusNumber", CM_DRP_BUSNUMBER, PropertyShape::number},
    {"EnumeratorName", CM_DRP_ENUMERATOR_NAME, PropertyShape::text},
    {"RemovalPolicy", CM_DRP_REMOVAL_POLICY, PropertyShape::number},
    {"InstallState", CM_DRP_INSTALL_STATE, PropertyShape::number},
};

}  // namespace

void fail(const std::string& where, const std::string& what) { throw FixtureError(where + ": " + what); }

Bytes parse_hex(const json& value, const std::string& where) {
  if (!value.is_string()) fail(where, "expected hex bytes as a string");
  const std::string& text = value.get_ref<const std::string&>();
  Bytes bytes;
  int high = -1;
  for (char c : text) {
    if (c == ' ' || c == ':' || c == '-' || c == '\n' || c == '\t') {
      if (high >= 0) fail(where, "a hex byte needs two digits");
      continue;
    }
    const int digit = hex_digit(c);
    if (digit < 0) fail(where, std::string("not a hex digit: '") + c + "'");
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<std::uint8_t>(high * 16 + digit));
      high = -1;
    }
  }
  if (high >= 0) fail(where, "odd number of hex digits");
  return bytes;
}

std::string to_hex(const Bytes& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i) out += ' ';
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
  }
  return out;
}

unsigned parse_number(const json& value, unsigned max, const std::string& where) {
  unsigned long long number = 0;
  if (value.is_number_unsigned()) {
    number = value.get<unsigned long long>();
  } else if (value.is_string()) {
    const std::string& text = value.get_ref<const std::string&>();
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 10) fail(where, "not a number: '" + text + "'");
    for (char c : digits) {
      const int d = hex_digit(c);
      if (d < 0 || (!hex && d > 9)) fail(where, "not a number: '" + text + "'");
      number = number * (hex ? 16 : 10) + static_cast<unsigned>(d);
    }
  } else {
    fail(where, "expected a number");
  }
  if (number > max) fail(where, "number out of range (at most " + std::to_string(max) + ")");
  return static_cast<unsigned>(number);
}

std::string hex_text(unsigned value, int digits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%0*X", digits, value);
  return buffer;
}

Bytes string_descriptor(std::u16string_view text) {
  const std::size_t chars = std::min<std::size_t>(text.size(), 126);
  Bytes bytes{static_cast<std::uint8_t>(2 + chars * 2), USB_STRING_DESCRIPTOR_TYPE};
  for (std::size_t i = 0; i < chars; ++i) {
    bytes.push_back(static_cast<std::uint8_t>(text[i] & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(text[i] >> 8));
  }
  return bytes;
}

const PropertyName* property_by_name(std::string_view name) {
  for (const PropertyName& p : kProperties)
    if (name == p.name) return &p;
  return nullptr;
}

const PropertyName* property_by_code(ULONG code) {
  for (const PropertyName& p : kProperties)
    if (code == p.code) return &p;
  return nullptr;
}

Property text_property(std::u16string_view text) {
  Property p{REG_SZ, {}};
  const std::string bytes = text::to_utf16le(text);
  p.data.assign(bytes.begin(), bytes.end());
  p.data.push_back(0);
  p.data.push_back(0);
  return p;
}

Property texts_property(const std::vector<std::u16string>& texts) {
  Property p{REG_MULTI_SZ, {}};
  for (const std::u16string& t : texts) {
    const Property one = text_property(t);
    p.data.insert(p.data.end(), one.data.begin(), one.data.end());
  }
  p.data.push_back(0);
  p.data.push_back(0);
  return p;
}

Property number_property(DWORD value) {
  return Property{REG_DWORD, {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                              static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)}};
}

Property guid_property(const GUID& guid) {
  Property p{REG_BINARY, Bytes(sizeof(GUID))};
  std::memcpy(p.data.data(), &guid, sizeof(GUID));
  return p;
}

bool parse_guid(std::string_view text, GUID& guid) {
  static const char kForm[] = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
  if (text.size() != sizeof kForm - 1) return false;
  Bytes digits;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (kForm[i] != 'x') {
      if (text[i] != kForm[i]) return false;
      continue;
    }
    const int d = hex_digit(text[i]);
    if (d < 0) return false;
    digits.push_back(static_cast<std::uint8_t>(d));
  }
  auto field = [&](std::size_t from, std::size_t count) {
    unsigned long value = 0;
    for (std::size_t i = from; i < from + count; ++i) value = value * 16 + digits[i];
    return value;
  };
  guid.Data1 = static_cast<DWORD>(field(0, 8));
  guid.Data2 = static_cast<WORD>(field(8, 4));
  guid.Data3 = static_cast<WORD>(field(12, 4));
  for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<BYTE>(field(16 + 2 * i, 2));
  return true;
}

std::string guid_text(const GUID& g) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buffer;
}

Property make_property(PropertyShape shape, const json& value, const std::string& where) {
  if (value.is_object()) {  // raw form: {"type": REG_*, "hex": "..."}
    if (!value.contains("type") || !value.contains("hex")) fail(where, "a raw property needs \"type\" and \"hex\"");
    return Property{parse_number(value["type"], 11, where + ".type"), parse_hex(value["hex"], where + ".hex")};
  }
  switch (shape) {
    case PropertyShape::text:
      if (!value.is_string()) fail(where, "expected a string");
      return text_property(text::from_utf8(value.get<std::string>()));
    case PropertyShape::texts: {
      if (!value.is_array()) fail(where, "expected an array of strings");
      std::vector<std::u16string> texts;
      for (const json& t : value) {
        if (!t.is_string() || t.get_ref<const std::string&>().empty()) fail(where, "expected non-empty strings");
        texts.push_back(text::from_utf8(t.get<std::string>()));
      }
      return texts_property(texts);
    }
    case PropertyShape::number:
      return number_property(parse_number(value, 0xFFFFFFFFu, where));
    case PropertyShape::guid: {
      GUID guid{};
      if (!value.is_string() || !parse_guid(value.get<std::string>(), guid)) fail(where, "expected a GUID {xxxxxxxx-...}");
      return guid_property(guid);
    }
  }
  fail(where, "unknown property shape");
}

json property_json(ULONG code, const Property& p) {
  const PropertyName* name = property_by_code(code);
  if (name) {
    const std::u16string text = text::from_utf16le(std::string(p.data.begin(), p.data.end()));
    switch (name->shape) {
      case PropertyShape::text:
        if (p.type == REG_SZ && p.data.size() % 2 == 0 && text.find(u'\0') == text.size() - 1 && !text.empty())
          return text::to_utf8(text.substr(0, text.size() - 1));
        break;
      case PropertyShape::texts: {
        if (p.type != REG_MULTI_SZ || p.data.size() < 2 || p.data.size() % 2 != 0) break;
        json list = json::array();
        std::size_t start = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
          if (text[i] != u'\0') continue;
          if (i == start) break;
          list.push_back(text::to_utf8(text.substr(start, i - start)));
          start = i + 1;
        }
        if (texts_property([&] {
              std::vector<std::u16string> v;
              for (const auto& t : list) v.push_back(text::from_utf8(t.get<std::string>()));
              return v;
            }()).data == p.data)
          return list;
        break;
      }
      case PropertyShape::number:
        if (p.type == REG_DWORD && p.data.size() == 4)
          return p.data[0] | (p.data[1] << 8) | (p.data[2] << 16) | (static_cast<unsigned>(p.data[3]) << 24);
        break;
      case PropertyShape::guid:
        if (p.type == REG_BINARY && p.data.size() == sizeof(GUID)) {
          GUID guid;
          std::memcpy(&guid, p.data.data(), sizeof guid);
          return guid_text(guid);
        }
        break;
    }
  }
  return json{{"type", p.type}, {"hex", to_hex(p.data)}};
}

}  // namespace os::sim::usb::detail
