// What the guard knows of a new device: five texts taken from the JSON text that describes it (as
// the driver's request carries it), the checksum of those texts that names the device in file
// names and reports, and the device document that is stored, shown to the user and reported.
#pragma once

#include <string>
#include <string_view>

#include "config/usb_rule.h"
#include "json/json_node.h"

struct DeviceRecord {
  std::u16string checksum;  // 40 upper-case hexadecimal digits
  // "producent", "produkt", "numer", "klasa", "opis", "checksum", "user".
  CJsonNode document;
  // The five texts; `action` is not used.
  CUsbRule description;
};

// Reads "DeviceDescriptor" -> "Manufacturer", "Product", "SerialNumber" and "DeviceProperty" ->
// "ClassName", "DeviceDescription" of the device text. A text without one of the two objects
// gives "-" for its fields; a member that is missing or not a text or number gives "". "user" is
// the first user who runs a shell ("explorer.exe"), or "".
DeviceRecord build_device_record(std::u16string_view device_text);
// The same with the user given.
DeviceRecord build_device_record(std::u16string_view device_text, const std::u16string& user);

// The five texts of a device text already read (a device document of the library's list, or a
// driver's request): "DeviceDescriptor" -> "Manufacturer", "Product", "SerialNumber" and
// "DeviceProperty" -> "ClassName", "DeviceDescription"; "-" for each text of a missing object.
// Creates nothing in `device`.
CUsbRule device_texts(CJsonNode& device);

// Sets the members "producent", "produkt", "numer", "klasa", "opis" of `object` to the five texts,
// each with `prefix` in front.
void set_device_texts(CJsonNode& object, const CUsbRule& texts, std::u16string_view prefix = u"");

// The first logged-on user, or "".
std::u16string first_logged_on_user();

// A copy of a device document in which each non-empty one of the five texts is an exact pattern
// ("=" in front); empty texts and the other members stay as they are.
CJsonNode with_exact_patterns(const CJsonNode& document);
