#include "library/usb/device_list.h"

#include "library/usb/device_info_json.h"
#include "library/usb/json_members.h"
#include "text/format.h"

namespace VostUsbWardenManager {

namespace {

constexpr DWORD kReadAccess = GENERIC_READ;
constexpr DWORD kShareAll = 7;  // read, write and delete
constexpr DWORD kNestedTooDeeply = 124;  // ERROR_INVALID_LEVEL

// Appends the document of one device; a failure leaves only that document out.
DWORD append_document(int port, const UsbNodeConnectionInformationEx& connInfo, bool isHub, JsonHolder& jh,
                      const VolumesMap& volsMap, std::u16string& status_text) {
  try {
    DeviceInfoJson info;
    const DWORD result = info.MakeInfo(port, connInfo, isHub, volsMap, status_text);
    if (result == 0) add_element(jh, info.getJson());
    return result;
  } catch (const JsonHolderException& e) {
    status_text = e.Message();
    return static_cast<DWORD>(e.Code());
  }
}

// Asks every port of the open hub `hub` and appends what is connected, `tier` being the hub's
// own tier below the root hub (0 for the root hub).
DWORD append_ports(DHManager& hub, int ports, int tier, const DeviceInstancesMap& devsMap, JsonHolder& jh,
                   const VolumesMap& volsMap, std::u16string& port_status, std::u16string& status_text);

DWORD append_device(const DeviceInstancesMap& devsMap, int port, const UsbNodeConnectionInformationEx& connInfo,
                    int tier, JsonHolder& jh, const VolumesMap& volsMap, std::u16string& status_text) {
  if (connInfo.DeviceIsHub == 0) return append_document(port, connInfo, false, jh, volsMap, status_text);
  if (tier > kMostHubTiers) {
    status_text = u"GetUSBDeviceJSON: Koncentrator zagnieżdżony zbyt głęboko: " + connInfo.NodeName;
    return kNestedTooDeeply;
  }
  DHManager hub;
  const std::u16string name = u"\\\\.\\" + connInfo.NodeName;
  if (const DWORD code = hub.Open(name.c_str(), status_text, kReadAccess, kShareAll)) return code;
  USB_NODE_INFORMATION info{};
  if (const DWORD code = hub.GetNodeInfoForHub(info, status_text)) return code;
  const bool isHub = info.NodeType == UsbHub;
  DWORD result = append_document(port, connInfo, isHub, jh, volsMap, status_text);
  if (isHub) {
    std::u16string scratch;
    result = append_ports(hub, info.u.HubInformation.HubDescriptor.bNumberOfPorts, tier, devsMap, jh, volsMap,
                          scratch, status_text);
  }
  return result;
}

DWORD append_ports(DHManager& hub, int ports, int tier, const DeviceInstancesMap& devsMap, JsonHolder& jh,
                   const VolumesMap& volsMap, std::u16string& port_status, std::u16string& status_text) {
  DWORD result = 0;
  for (int port = 1; port <= ports; ++port) {
    UsbNodeConnectionInformationEx connection;
    if (hub.GetConnectionInfo(devsMap, port, connection, port_status) != 0) continue;
    if (connection.ConnectionStatus != DeviceConnected) continue;
    result = append_device(devsMap, port, connection, tier + 1, jh, volsMap, status_text);
  }
  return result;
}

// The root hub of controller `index`, or an empty name when the controller cannot be asked.
std::u16string root_hub_of(int index) {
  DHManager controller;
  std::u16string message;
  const std::u16string name = text::format(u"\\\\.\\HCD%d", index);
  if (controller.Open(name.c_str(), message, kReadAccess, kShareAll) != 0) return {};
  std::u16string driverKey, description, rootHub;
  DWORD devInst = 0;
  if (controller.GetHcdDriverKeyName(driverKey, message) != 0) return {};
  if (DHManager::GetDevInst(driverKey, devInst, message) != 0) return {};
  if (DHManager::GetDeviceDesc(devInst, description, message) != CR_SUCCESS) return {};
  if (controller.GetRootHubNameForHost(rootHub, message) != 0) return {};
  return rootHub;
}

void append_root_hub(const std::u16string& rootHub, const DeviceInstancesMap& devsMap, JsonHolder& jh,
                     const VolumesMap& volsMap, std::u16string& status_text) {
  DHManager hub;
  const std::u16string name = u"\\\\.\\" + rootHub;
  if (hub.Open(name.c_str(), status_text, kReadAccess, kShareAll) != 0) return;
  USB_NODE_INFORMATION info{};
  if (hub.GetNodeInfoForHub(info, status_text) != 0 || info.NodeType != UsbHub) return;
  std::u16string scratch;
  append_ports(hub, info.u.HubInformation.HubDescriptor.bNumberOfPorts, 0, devsMap, jh, volsMap, status_text,
               scratch);
}

}  // namespace

DWORD GetUSBDeviceJSON(const DeviceInstancesMap& devsMap, int port, const UsbNodeConnectionInformationEx& connInfo,
                       JsonHolder& jh, const VolumesMap& volsMap, std::u16string& status_text) {
  return append_device(devsMap, port, connInfo, 1, jh, volsMap, status_text);
}

DWORD GetCurrentUSBDevicesJSONList(int maxHostItems, JsonHolder& jh, std::u16string& status_text) {
  DeviceInstancesMap devsMap;
  if (const DWORD code = DHManager::GetDeviceInstancesMap(devsMap, status_text)) return code;
  VolumesMap volsMap;
  if (const DWORD code = DevNode::GetVolumesInfo(volsMap, status_text)) return code;
  JsonHolder list = JsonHolder::CreateArray();
  for (int i = 0; i < maxHostItems; ++i) {
    const std::u16string rootHub = root_hub_of(i);
    if (!rootHub.empty()) append_root_hub(rootHub, devsMap, list, volsMap, status_text);
  }
  jh = std::move(list);
  return 0;
}

DWORD GetCurrentUSBDevicesJSONListText(int maxHostItems, std::u16string& jsonText, std::u16string& status_text) {
  JsonHolder list;
  if (const DWORD code = GetCurrentUSBDevicesJSONList(maxHostItems, list, status_text)) return code;
  jsonText = list.ToString();
  return 0;
}

}  // namespace VostUsbWardenManager
