// Pieces shared by the USB fixture reader, writer and the defaults (not for other callers).
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

#include "platform/sim/usb_fixture.h"

namespace os::sim::usb::detail {

using nlohmann::json;

[[noreturn]] void fail(const std::string& where, const std::string& what);

// Hex bytes: pairs of hex digits, optionally separated by spaces, colons or dashes.
Bytes parse_hex(const json& value, const std::string& where);
std::string to_hex(const Bytes& bytes);

// A number given as a JSON number or as text "0x1A2B" / "123", within [0, max].
unsigned parse_number(const json& value, unsigned max, const std::string& where);
std::string hex_text(unsigned value, int digits);  // "0x0409"

// A string descriptor for `text`.
Bytes string_descriptor(std::u16string_view text);

// How a device registry property is written in a fixture.
enum class PropertyShape { text, texts, number, guid };
struct PropertyName {
  const char* name;
  ULONG code;
  PropertyShape shape;
};
const PropertyName* property_by_name(std::string_view name);
const PropertyName* property_by_code(ULONG code);
Property make_property(PropertyShape shape, const json& value, const std::string& where);
json property_json(ULONG code, const Property& property);  // typed when the bytes fit the shape, else raw
Property text_property(std::u16string_view text);
Property texts_property(const std::vector<std::u16string>& texts);
Property number_property(DWORD value);
Property guid_property(const GUID& guid);
bool parse_guid(std::string_view text, GUID& guid);
std::string guid_text(const GUID& guid);  // "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"

// Device descriptors from the shorthand members of a device fixture (vendor, product, class,
// strings, configurations/interfaces). Raw descriptors given under "descriptors" win.
void build_shorthand(const json& device, Device& into, const std::string& where);

// A device's "admission" (what the filter driver made of it) and "request" (its own request text).
void read_admission(const json& device_json, Device& into, const std::string& where);
void write_admission(nlohmann::ordered_json& device_json, const Device& device);

// Fills what the fixture left out: device instance handles, instance ids, driver keys, hub names,
// addresses, disk numbers and the default properties (except those a fault says are not set).
void complete_machine(Machine& machine);

}  // namespace os::sim::usb::detail
