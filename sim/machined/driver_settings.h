// What the VostUsb driver reads when it starts: the configuration file and the admittance files
// that the guard's library wrote, named by the "ConfigFilePath" and "AdmittancesFolderPath" values
// of its service key. Both are read once, at the start; a later change takes effect at the next.
//
// - The configuration file, when it is a valid configuration document (the library's own check):
//   "hubs_always_accepted" gives the initial hubs setting, "filesAndCacheMode" the initial mode,
//   "filter": false lets every device in without asking. "capture" and "notify_handle" are shown
//   with the driver's state and change nothing in the emulation. A missing, unreadable or invalid
//   file leaves the driver's defaults (hubs not accepted, mode 0, filter on), and the state says
//   why.
// - The admittance folder: every file of the library's name shape that is a valid admittance
//   document whose name is its content's canonical name. Each serial entry admits that device:
//   with "SerialNumber", only the device with exactly that serial number; without it, every device
//   of that vendor, product and revision. Other files are skipped and counted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "library/admittance.h"
#include "platform/os.h"

namespace machined {

struct ConfigSettings {
  bool hubs_always_accepted = false;
  DWORD files_and_cache_mode = 0;
  bool filter = true;
  bool capture = true;
  bool notify_handle = true;
  // How the file was taken: "read", "none" (no path), or "not read: " and why.
  std::string outcome = "none";
};

struct AdmittanceSettings {
  VostUsbWardenManager::AdmittanceList admitted;
  int files_read = 0;
  int files_skipped = 0;
  std::string outcome = "none";  // "read", "none" (no path), or "not read: " and why
};

ConfigSettings read_config_settings(const std::u16string& path);
AdmittanceSettings read_admittance_settings(const std::u16string& folder);

// A device's identity from its device text ("DeviceDescriptor" → "idVendor", "idProduct",
// "bcdDevice", "SerialNumber"); none when the text does not give the three numbers.
std::optional<VostUsbWardenManager::Admittance> identity_of(std::u16string_view device_text);

// Whether an admittance in `admitted` lets the device of `identity` in.
bool is_admitted(const VostUsbWardenManager::AdmittanceList& admitted, const VostUsbWardenManager::Admittance& identity);

}  // namespace machined
