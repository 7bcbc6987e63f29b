#include "library/usb/device_list.h"

#include "library/usb/device_info_json.h"
#include "library/usb/json_members.h"
#include "text/format.h"

namespace VostUsbWardenManager {

namespace {

constexpr DWORD kReadAccess = GENERIC_READ;
constexpr DWORD kShareAll = 7;  // read, write and delete
constexpr DWORD kNestedTooDeeply = 124;  // ERROR_INVALID_LEVEL

// One walk over the machine: the maps it reads, the list it fills and, when asked, the port path
// of each document ("1-2.4": controller index + 1, root hub port, hub ports).
struct Walk {
  const DeviceInstancesMap& devsMap;
  const VolumesMap& volsMap;
  JsonHolder& jh;
  std::vector<std::u16string>* paths;
};

std::u16string path_below(const std::u16string& hub_path, int port) {
  const bool root = hub_path.find(u'-') == std::u16string::npos;
  return hub_path + (root ? u"-" : u".") + text::format(u"%d", port);
}

// Appends the document of one device; a failure leaves only that document out.
DWORD append_document(Walk& walk, int port, const UsbNodeConnectionInformationEx& connInfo, bool isHub,
                      const std::u16string& path, std::u16string& status_text) {
  try {
    DeviceInfoJson info;
    const DWORD result = info.MakeInfo(port, connInfo, isHub, walk.volsMap, status_text);
    if (result != 0) return result;
    add_element(walk.jh, info.getJson());
    if (walk.paths != nullptr) walk.paths->push_back(path);
    return 0;
  } catch (const JsonHolderException& e) {
    status_text = e.Message();
    return static_cast<DWORD>(e.Code());
  }
}

// Asks every port of the open hub `hub` and appends what is connected, `tier` being the hub's
// own tier below the root hub (0 for the root hub).
DWORD append_ports(Walk& walk, DHManager& hub, int ports, int tier, const std::u16string& hub_path,
                   std::u16string& port_status, std::u16string& status_text);

DWORD append_device(Walk& walk, int port, const UsbNodeConnectionInformationEx& connInfo, int tier,
                    const std::u16string& path, std::u16string& status_text) {
  if (connInfo.DeviceIsHub == 0) return append_document(walk, port, connInfo, false, path, status_text);
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
  DWORD result = append_document(walk, port, connInfo, isHub, path, status_text);
  if (isHub) {
    std::u16string scratch;
    result = append_ports(walk, hub, info.u.HubInformation.HubDescriptor.bNumberOfPorts, tier, path, scratch,
                          status_text);
  }
  return result;
}

DWORD append_ports(Walk& walk, DHManager& hub, int ports, int tier, const std::u16string& hub_path,
                   std::u16string& port_status, std::u16string& status_text) {
  DWORD result = 0;
  for (int port = 1; port <= ports; ++port) {
    UsbNodeConnectionInformationEx connection;
    if (hub.GetConnectionInfo(walk.devsMap, port, connection, port_status) != 0) continue;
    if (connection.ConnectionStatus != DeviceConnected) continue;
    result = append_device(walk, port, connection, tier + 1, path_below(hub_path, port), status_text);
  }
  return result;
}

// The root hub of the open controller, or an empty name when the controller cannot be asked.
std::u16string root_hub_of(DHManager& controller) {
  std::u16string message;
  std::u16string driverKey, description, rootHub;
  DWORD devInst = 0;
  if (controller.GetHcdDriverKeyName(driverKey, message) != 0) return {};
  if (DHManager::GetDevInst(driverKey, devInst, message) != 0) return {};
  if (DHManager::GetDeviceDesc(devInst, description, message) != CR_SUCCESS) return {};
  if (controller.GetRootHubNameForHost(rootHub, message) != 0) return {};
  return rootHub;
}

// The device instance map and the volume map, built once, when the first host controller opens.
struct Maps {
  DeviceInstancesMap devices;
  VolumesMap volumes;
  bool built = false;

  DWORD Build(std::u16string& status_text) {
    if (built) return 0;
    if (const DWORD code = DHManager::GetDeviceInstancesMap(devices, status_text)) return code;
    if (const DWORD code = DevNode::GetVolumesInfo(volumes, status_text)) return code;
    built = true;
    return 0;
  }
};

void append_root_hub(Walk& walk, int index, const std::u16string& rootHub, std::u16string& status_text) {
  DHManager hub;
  const std::u16string name = u"\\\\.\\" + rootHub;
  if (hub.Open(name.c_str(), status_text, kReadAccess, kShareAll) != 0) return;
  USB_NODE_INFORMATION info{};
  if (hub.GetNodeInfoForHub(info, status_text) != 0 || info.NodeType != UsbHub) return;
  std::u16string scratch;
  append_ports(walk, hub, info.u.HubInformation.HubDescriptor.bNumberOfPorts, 0, text::format(u"%d", index + 1),
               status_text, scratch);
}

}  // namespace

DWORD GetUSBDeviceJSON(const DeviceInstancesMap& devsMap, int port, const UsbNodeConnectionInformationEx& connInfo,
                       JsonHolder& jh, const VolumesMap& volsMap, std::u16string& status_text) {
  Walk walk{devsMap, volsMap, jh, nullptr};
  return append_device(walk, port, connInfo, 1, text::format(u"%d", port), status_text);
}

DWORD GetCurrentUSBDevicesWithPorts(int maxHostItems, JsonHolder& jh, std::vector<std::u16string>* portPaths,
                                    std::u16string& status_text) {
  // A machine without host controllers has no USB devices, whatever its device tree answers (Wine
  // cannot even locate the tree's root), so the maps are built only once there is a controller;
  // when they cannot be built the list fails as a whole.
  Maps maps;
  JsonHolder list = JsonHolder::CreateArray();
  std::vector<std::u16string> paths;
  Walk walk{maps.devices, maps.volumes, list, &paths};
  for (int i = 0; i < maxHostItems; ++i) {
    std::u16string rootHub;
    {
      DHManager controller;
      std::u16string message;
      const std::u16string name = text::format(u"\\\\.\\HCD%d", i);
      if (controller.Open(name.c_str(), message, kReadAccess, kShareAll) != 0) continue;
      if (const DWORD code = maps.Build(status_text)) return code;
      rootHub = root_hub_of(controller);
    }
    if (!rootHub.empty()) append_root_hub(walk, i, rootHub, status_text);
  }
  jh = std::move(list);
  if (portPaths != nullptr) *portPaths = std::move(paths);
  return 0;
}

DWORD GetCurrentUSBDevicesJSONList(int maxHostItems, JsonHolder& jh, std::u16string& status_text) {
  return GetCurrentUSBDevicesWithPorts(maxHostItems, jh, nullptr, status_text);
}

DWORD GetCurrentUSBDevicesJSONListText(int maxHostItems, std::u16string& jsonText, std::u16string& status_text) {
  JsonHolder list;
  if (const DWORD code = GetCurrentUSBDevicesJSONList(maxHostItems, list, status_text)) return code;
  jsonText = list.ToString();
  return 0;
}

}  // namespace VostUsbWardenManager
