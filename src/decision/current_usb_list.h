// The list of the USB devices connected now, as a rule file that allows exactly them. Kept in the
// data folder as "current_usb.json" from the guard's first start on, it holds the initial rules:
// the devices present when the guard was set up stay usable without asking. The same list goes,
// as UTF-8, to a path that another program of the suite asks for.
#pragma once

#include <cstdint>
#include <string>

class CJsonNode;

// Fills the array "rules" of `document` with one pair per connected device, in the library's
// order: an object with "producent", "produkt", "numer", "klasa", "opis" (with `exact`, each
// with "=" in front) and, for a device with drive letters, "dyski" (the letters, without "="),
// then the verdict 1. With `skip_drives`, devices with drive letters are left out. 0 (with the
// line "generate_current_usb_list error: <code> : <status>") when the library cannot list the
// devices; then the document is not touched.
int generate_current_usb_list(CJsonNode& document, int exact, int skip_drives);

// Writes the exact list: with an empty target as UTF-16LE to the "current_usb" file, otherwise as
// UTF-8 to the target. Nothing happens without a driver connection (g_manager) or when the list
// cannot be made, so an earlier file stays.
void write_current_usb_list(const std::u16string& target, int skip_drives);

// Writes the "current_usb" file without the devices that have drive letters, and loads the
// initial rules from it, when the file does not exist; does nothing when it does.
void ensure_current_usb_list();

// Replaces initial_rules by the rules of the "current_usb" file, under config_lock. The line
// "Initial rules count: <n>" counts the file's elements, malformed ones included.
void load_initial_rules();

// Where the list of devices comes from: the library's list of the connected devices unless a test
// puts another source in (null puts the library's back).
using DeviceListSource = std::uint32_t (*)(int maxHostItems, std::u16string& jsonText, std::u16string& status_text);
void set_device_list_source(DeviceListSource source);
