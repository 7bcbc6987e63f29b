// Descriptors built from the shorthand members of a device fixture.
#include "platform/sim/usb_fixture_detail.h"
#include "text/utf.h"

namespace os::sim::usb::detail {

namespace {

constexpr WORD kEnglish = 0x0409;

void put16(Bytes& bytes, unsigned value) {
  bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
  bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

unsigned member(const json& object, const char* name, unsigned fallback, unsigned max, const std::string& where) {
  return object.contains(name) ? parse_number(object[name], max, where + "." + name) : fallback;
}

// "2.00" -> 0x0200, "1.1" -> 0x0110; numbers are taken as BCD values.
unsigned parse_bcd(const json& value, const std::string& where) {
  if (!value.is_string() || value.get_ref<const std::string&>().find('.') == std::string::npos)
    return parse_number(value, 0xFFFF, where);
  const std::string text = value.get<std::string>();
  const std::size_t dot = text.find('.');
  const std::string major = text.substr(0, dot), minor = text.substr(dot + 1);
  if (major.empty() || major.size() > 2 || minor.empty() || minor.size() > 2 ||
      major.find_first_not_of("0123456789") != std::string::npos ||
      minor.find_first_not_of("0123456789") != std::string::npos)
    fail(where, "expected a version such as \"2.00\"");
  const unsigned m = std::stoul(major), n = std::stoul(minor + (minor.size() == 1 ? "0" : ""));
  return ((m / 10) << 12) | ((m % 10) << 8) | ((n / 10) << 4) | (n % 10);
}

BYTE endpoint_type(const json& value, const std::string& where) {
  if (value.is_string()) {
    const std::string t = value.get<std::string>();
    if (t == "control") return 0;
    if (t == "isochronous") return 1;
    if (t == "bulk") return 2;
    if (t == "interrupt") return 3;
  }
  fail(where, "expected control, isochronous, bulk or interrupt");
}

// A string index for `text` in English, reusing one that holds the same text.
BYTE add_string(Device& device, const json& value, const std::string& where) {
  if (!value.is_string()) fail(where, "expected a string");
  const Bytes descriptor = string_descriptor(text::from_utf8(value.get<std::string>()));
  BYTE next = 1;
  for (const auto& [key, bytes] : device.strings) {
    if (key.first != kEnglish) continue;
    if (bytes == descriptor) return key.second;
    if (key.second >= next) next = static_cast<BYTE>(key.second + 1);
  }
  device.strings[{kEnglish, next}] = descriptor;
  return next;
}

Bytes build_interface(Device& device, const json& spec, unsigned number, const std::string& where) {
  if (!spec.is_object()) fail(where, "expected an interface object");
  const unsigned cls = member(spec, "class", 0xFF, 0xFF, where);
  const unsigned sub = member(spec, "subclass", 0, 0xFF, where);
  const unsigned proto = member(spec, "protocol", 0, 0xFF, where);
  const json endpoints = spec.value("endpoints", json::array());
  if (!endpoints.is_array()) fail(where + ".endpoints", "expected an array");
  const BYTE name = spec.contains("name") ? add_string(device, spec["name"], where + ".name") : 0;
  Bytes bytes{9, USB_INTERFACE_DESCRIPTOR_TYPE, static_cast<std::uint8_t>(number),
              static_cast<std::uint8_t>(member(spec, "alternate", 0, 0xFF, where)),
              static_cast<std::uint8_t>(endpoints.size()), static_cast<std::uint8_t>(cls),
              static_cast<std::uint8_t>(sub), static_cast<std::uint8_t>(proto), name};
  if (spec.contains("extra")) {
    const Bytes extra = parse_hex(spec["extra"], where + ".extra");
    bytes.insert(bytes.end(), extra.begin(), extra.end());
  } else if (cls == 3) {  // a HID descriptor follows every HID interface
    const unsigned report = member(spec, "report_length", 64, 0xFFFF, where);
    bytes.insert(bytes.end(), {9, 0x21, 0x11, 0x01, 0x00, 0x01, 0x22});
    put16(bytes, report);
  }
  for (std::size_t i = 0; i < endpoints.size(); ++i) {
    const json& e = endpoints[i];
    const std::string at = where + ".endpoints[" + std::to_string(i) + "]";
    if (!e.is_object() || !e.contains("address")) fail(at, "an endpoint needs an \"address\"");
    bytes.insert(bytes.end(), {7, USB_ENDPOINT_DESCRIPTOR_TYPE,
                               static_cast<std::uint8_t>(parse_number(e["address"], 0xFF, at + ".address")),
                               endpoint_type(e.value("type", json("bulk")), at + ".type")});
    put16(bytes, member(e, "max_packet", 64, 0xFFFF, at));
    bytes.push_back(static_cast<std::uint8_t>(member(e, "interval", 0, 0xFF, at)));
  }
  return bytes;
}

Bytes build_configuration(Device& device, const json& spec, unsigned value, const std::string& where) {
  const json interfaces = spec.value("interfaces", json::array());
  if (!interfaces.is_array()) fail(where + ".interfaces", "expected an array");
  Bytes body;
  unsigned count = 0;
  for (std::size_t i = 0; i < interfaces.size(); ++i) {
    const unsigned number = member(interfaces[i], "number", count, 0xFF, where);
    const Bytes one = build_interface(device, interfaces[i], number, where + ".interfaces[" + std::to_string(i) + "]");
    body.insert(body.end(), one.begin(), one.end());
    if (!interfaces[i].contains("alternate") || interfaces[i]["alternate"] == 0) ++count;
  }
  const unsigned max_power_ma = member(spec, "max_power_ma", 100, 500, where);
  const BYTE name = spec.contains("name") ? add_string(device, spec["name"], where + ".name") : 0;
  Bytes bytes{9, USB_CONFIGURATION_DESCRIPTOR_TYPE};
  put16(bytes, static_cast<unsigned>(9 + body.size()));
  bytes.insert(bytes.end(), {static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(value), name,
                             static_cast<std::uint8_t>(member(spec, "attributes", 0x80, 0xFF, where)),
                             static_cast<std::uint8_t>(max_power_ma / 2)});
  bytes.insert(bytes.end(), body.begin(), body.end());
  return bytes;
}

}  // namespace

void build_shorthand(const json& d, Device& device, const std::string& where) {
  if (d.contains("strings")) {  // extra texts per language: {"0x0409": {"4": "text"}}
    if (!d["strings"].is_object()) fail(where + ".strings", "expected an object of languages");
    for (const auto& [language, texts] : d["strings"].items()) {
      const WORD lang = static_cast<WORD>(parse_number(json(language), 0xFFFF, where + ".strings"));
      if (!texts.is_object()) fail(where + ".strings." + language, "expected an object of indexes");
      for (const auto& [index, value] : texts.items()) {
        const std::string at = where + ".strings." + language + "." + index;
        if (!value.is_string()) fail(at, "expected a string");
        device.strings[{lang, static_cast<BYTE>(parse_number(json(index), 0xFF, at))}] =
            string_descriptor(text::from_utf8(value.get<std::string>()));
      }
    }
  }
  if (!device.device_descriptor.empty()) return;  // raw descriptors given
  if (!d.contains("vendor_id") || !d.contains("product_id"))
    fail(where, "a device needs \"descriptors\" or \"vendor_id\" and \"product_id\"");
  const BYTE manufacturer = d.contains("manufacturer") ? add_string(device, d["manufacturer"], where + ".manufacturer") : 0;
  const BYTE product = d.contains("product") ? add_string(device, d["product"], where + ".product") : 0;
  const BYTE serial = d.contains("serial") ? add_string(device, d["serial"], where + ".serial") : 0;

  json configurations = d.value("configurations", json::array());
  if (!configurations.is_array()) fail(where + ".configurations", "expected an array");
  if (configurations.empty()) configurations.push_back(json{{"interfaces", d.value("interfaces", json::array())}});
  for (std::size_t i = 0; i < configurations.size(); ++i) {
    const std::string at = where + ".configurations[" + std::to_string(i) + "]";
    if (!configurations[i].is_object()) fail(at, "expected a configuration object");
    device.configurations.push_back(build_configuration(device, configurations[i], static_cast<unsigned>(i + 1), at));
  }

  const unsigned usb = d.contains("usb") ? parse_bcd(d["usb"], where + ".usb") : 0x0200;
  Bytes& dd = device.device_descriptor;
  dd = {18, USB_DEVICE_DESCRIPTOR_TYPE};
  put16(dd, usb);
  dd.push_back(static_cast<std::uint8_t>(member(d, "class", 0, 0xFF, where)));
  dd.push_back(static_cast<std::uint8_t>(member(d, "subclass", 0, 0xFF, where)));
  dd.push_back(static_cast<std::uint8_t>(member(d, "protocol", 0, 0xFF, where)));
  dd.push_back(static_cast<std::uint8_t>(member(d, "max_packet0", usb >= 0x0300 ? 9 : 64, 0xFF, where)));
  put16(dd, parse_number(d["vendor_id"], 0xFFFF, where + ".vendor_id"));
  put16(dd, parse_number(d["product_id"], 0xFFFF, where + ".product_id"));
  put16(dd, d.contains("revision") ? parse_bcd(d["revision"], where + ".revision") : 0x0100);
  dd.insert(dd.end(), {manufacturer, product, serial, static_cast<std::uint8_t>(device.configurations.size())});
}

}  // namespace os::sim::usb::detail
