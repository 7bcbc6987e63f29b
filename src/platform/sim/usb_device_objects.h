// The simulated USB stack's device objects: host controllers ("\\.\HCD<n>"), hubs (root hubs and
// external hubs by name), volumes ("\\.\X:") and disks (their interface paths), answering
// DeviceIoControl from the machine as it was when the handle was opened.
#pragma once

#include <optional>
#include <string_view>

#include "platform/sim/devices.h"

namespace os::sim::usb {

// The USB device family of open_device: nullopt for a name that is not one of its devices.
std::optional<DeviceOpen> open_usb_device(std::u16string_view name, DWORD access);

}  // namespace os::sim::usb
