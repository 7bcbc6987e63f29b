// The facade's device-list operations: the USB inventory's list and documents, unchanged.
#include "library/manager.h"
#include "library/usb/device_list.h"

namespace VostUsbWardenManager {

std::uint32_t Manager::GetCurrentUSBDevicesJSONListText(int maxHostItems, std::u16string& jsonText,
                                                        std::u16string& status_text) {
  return VostUsbWardenManager::GetCurrentUSBDevicesJSONListText(maxHostItems, jsonText, status_text);
}

std::uint32_t Manager::GetCurrentUSBDevicesJSONList(int maxHostItems, JsonHolder& jh, std::u16string& status_text) {
  return VostUsbWardenManager::GetCurrentUSBDevicesJSONList(maxHostItems, jh, status_text);
}

std::uint32_t Manager::GetUSBDeviceJSON(const DeviceInstancesMap& devsMap, int port,
                                        const UsbNodeConnectionInformationEx& connInfo, JsonHolder& jh,
                                        const VolumesMap& volsMap, std::u16string& status_text) {
  return VostUsbWardenManager::GetUSBDeviceJSON(devsMap, port, connInfo, jh, volsMap, status_text);
}

}  // namespace VostUsbWardenManager
