// The list of the USB devices connected now: every host controller in index order, its root hub,
// and every hub below it depth first with its ports in ascending order, one device document per
// connected device (root hubs have none).
#pragma once

#include <string>
#include <vector>

#include "library/json/json_holder.h"
#include "library/usb/dev_node.h"
#include "library/usb/usb_connection_info.h"

namespace VostUsbWardenManager {

// Hubs below a root hub that USB allows in one chain; a hub deeper than this is left out together
// with everything behind it, as Windows does not enumerate it either.
inline constexpr int kMostHubTiers = 5;

// `jh` becomes the array of device documents; fails only when the device instance map or the
// volume map cannot be built (then `jh` is untouched). The maps are built when the first host
// controller opens: a machine without any gives an empty list and 0.
DWORD GetCurrentUSBDevicesJSONList(int maxHostItems, JsonHolder& jh, std::u16string& status_text);
// The same list with, for each document, the port path of its device: "1-2.4" is controller
// index 0 (numbered from 1), root hub port 2, port 4 of the hub there.
DWORD GetCurrentUSBDevicesWithPorts(int maxHostItems, JsonHolder& jh, std::vector<std::u16string>* portPaths,
                                    std::u16string& status_text);
// The same list as compact text; `jsonText` changes only on success.
DWORD GetCurrentUSBDevicesJSONListText(int maxHostItems, std::u16string& jsonText, std::u16string& status_text);
// Appends the document of the device on `port`, and when it is a hub those of everything behind it.
DWORD GetUSBDeviceJSON(const DeviceInstancesMap& devsMap, int port, const UsbNodeConnectionInformationEx& connInfo,
                       JsonHolder& jh, const VolumesMap& volsMap, std::u16string& status_text);

}  // namespace VostUsbWardenManager
