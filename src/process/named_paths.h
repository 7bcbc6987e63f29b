// The process's named data files and folders, and its one driver control library instance.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace VostUsbWardenManager {
class Manager;
}

// The process's one library instance; null while there is no driver connection. Created and
// destroyed only by driver bring-up and tear-down.
extern VostUsbWardenManager::Manager* g_manager;
// Held while g_manager is created, used from another thread than the main one, or destroyed, so
// that a command reloading the configuration never uses a Manager being torn down.
extern std::recursive_mutex g_manager_lock;

// The driver file for this Windows: "vostusb10.sys" on the Windows 10 family, else "vostusb.sys".
std::u16string driver_file_name();

// The path of a named data file or folder ("current_usb", "accept", "sys", ...), after creating the
// folders it needs and logging it where that is the rule; "" for any other name (case counts).
std::u16string get_named_path(std::u16string_view name);
