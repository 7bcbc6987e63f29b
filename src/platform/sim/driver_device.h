// Devices of drivers loaded in the machine daemon ("\\.\VostUsb" while its service runs). Each
// open handle holds two connections to the daemon: one for its control requests, and one on which
// the daemon says when the driver sets an event the handle's process gave it (events are
// in-process, so a thread of this process sets it). When the process ends, both connections close
// and the driver sees the handle's clean-up, as Windows closes a dead process's handles.
#pragma once

#include <optional>
#include <string_view>

#include "platform/sim/devices.h"

namespace os::sim {

// nullopt for a name that no loaded driver could own.
std::optional<DeviceOpen> open_driver_device(std::u16string_view name, DWORD access, DWORD flags);

}  // namespace os::sim
