// DHManager's look-ups in the Plug and Play device tree: the walk that finds device nodes by
// driver key name, and the reads of a node's registry properties and instance identifier.
#include <algorithm>
#include <functional>

#include "library/usb/dh_manager.h"
#include "library/usb/raw_bytes.h"
#include "text/chars.h"

namespace VostUsbWardenManager {

namespace {

constexpr ULONG kDriverKeyBuffer = 200;
constexpr ULONG kTextPropertyBuffer = 402;
constexpr DWORD kNodeNotFound = 1168;

// Visits every node depth first from `root` until `visit` says to stop.
void walk_device_tree(DEVINST root, const std::function<bool(DEVINST)>& visit) {
  DEVINST node = root;
  for (;;) {
    if (visit(node)) return;
    DEVINST next = 0;
    if (os::CM_Get_Child(&next, node, 0) == CR_SUCCESS) {
      node = next;
      continue;
    }
    // No child: the next sibling of this node or of the nearest ancestor that has one.
    for (;;) {
      if (os::CM_Get_Sibling(&next, node, 0) == CR_SUCCESS) break;
      DEVINST parent = 0;
      if (os::CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) return;
      node = parent;
    }
    node = next;
  }
}

// The driver key name of a node, read as the walk reads it (into 200 bytes).
bool read_driver_key(DEVINST node, std::u16string& name) {
  std::uint8_t buffer[kDriverKeyBuffer] = {};
  ULONG length = sizeof buffer;
  if (os::CM_Get_DevNode_Registry_PropertyW(node, CM_DRP_DRIVER, nullptr, buffer, &length, 0) != CR_SUCCESS) {
    return false;
  }
  name = utf16_up_to_nul(first_bytes(RawBytes(buffer), length));
  return true;
}

CONFIGRET read_text_property(DWORD devInst, DWORD cm_drp, std::u16string& value) {
  std::uint8_t buffer[kTextPropertyBuffer] = {};
  ULONG length = sizeof buffer;
  const CONFIGRET result = os::CM_Get_DevNode_Registry_PropertyW(devInst, cm_drp, nullptr, buffer, &length, 0);
  if (result == CR_SUCCESS) value = utf16_up_to_nul(first_bytes(RawBytes(buffer), length));
  return result;
}

}  // namespace

DWORD DHManager::GetDeviceInstancesMap(DeviceInstancesMap& mapa, std::u16string& status_text) {
  DEVINST root = 0;
  const CONFIGRET located = os::CM_Locate_DevNodeW(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL);
  if (located != CR_SUCCESS) {
    status_text = u"GetDeviceInstancesMap: Nie udało uzyskać węzła-korzenia";
    return located;
  }
  DeviceInstancesMap found;
  walk_device_tree(root, [&found](DEVINST node) {
    std::u16string name;
    if (read_driver_key(node, name)) found[name] = node;
    return false;
  });
  mapa = std::move(found);
  return 0;
}

DWORD DHManager::GetDevInst(const std::u16string& DriverKeyName, DWORD& devInst, std::u16string& status_text) {
  DEVINST root = 0;
  const CONFIGRET located = os::CM_Locate_DevNodeW(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL);
  if (located != CR_SUCCESS) {
    status_text = u"GetDevInst: Nie udało uzyskać węzła-korzenia";
    return located;
  }
  bool matched = false;
  walk_device_tree(root, [&](DEVINST node) {
    std::u16string name;
    read_driver_key(node, name);
    if (!text::equals_nocase(name, DriverKeyName)) return false;
    devInst = node;
    matched = true;
    return true;
  });
  if (matched) return 0;
  status_text = u"GetDevInst: Nie znaleziono wezła: " + DriverKeyName;
  return kNodeNotFound;
}

CONFIGRET DHManager::GetDeviceDesc(const DWORD& devInst, std::u16string& DeviceDesc, std::u16string& status_text) {
  const CONFIGRET result = read_text_property(devInst, CM_DRP_DEVICEDESC, DeviceDesc);
  if (result != CR_SUCCESS) status_text = u"GetDeviceDesc: Nie udało się uzyskać właściwości: CM_DRP_DEVICEDESC";
  return result;
}

CONFIGRET DHManager::GetDeviceLocation(const DWORD& devInst, std::u16string& Location, std::u16string& status_text) {
  const CONFIGRET result = read_text_property(devInst, CM_DRP_LOCATION_INFORMATION, Location);
  if (result != CR_SUCCESS) {
    status_text = u"GetDeviceLocation: Nie udało się uzyskać właściwości: CM_DRP_LOCATION_INFORMATION";
  }
  return result;
}

CONFIGRET DHManager::GetDeviceRegProp(const DWORD& devInst, DWORD cm_drp, std::u16string& value,
                                      std::u16string& status_text) {
  const CONFIGRET result = read_text_property(devInst, cm_drp, value);
  if (result != CR_SUCCESS) status_text = u"GetDeviceRegProp: Nie udało się uzyskać właściwości";
  return result;
}

CONFIGRET DHManager::GetDeviceRegProp(const DWORD& devInst, DWORD cm_drp, std::vector<std::uint8_t>& value,
                                      std::u16string& status_text) {
  ULONG size = 0;
  CONFIGRET result = os::CM_Get_DevNode_Registry_PropertyW(devInst, cm_drp, nullptr, nullptr, &size, 0);
  if (result != CR_SUCCESS && result != CR_BUFFER_SMALL) {
    status_text = u"GetDeviceRegProp: Nie udało się uzyskać właściwości";
    return result;
  }
  if (size == 0) {
    value.clear();
    return CR_SUCCESS;
  }
  std::vector<std::uint8_t> buffer(size, 0);
  ULONG length = size;
  result = os::CM_Get_DevNode_Registry_PropertyW(devInst, cm_drp, nullptr, buffer.data(), &length, 0);
  if (result != CR_SUCCESS) {
    status_text = u"GetDeviceRegProp: Nie udało się uzyskać właściwości";
    return result;
  }
  buffer.resize(std::min<std::size_t>(length, buffer.size()));
  value = std::move(buffer);
  return CR_SUCCESS;
}

CONFIGRET DHManager::GetDeviceID(const DWORD& devInst, std::u16string& DeviceID, std::u16string& status_text) {
  ULONG length = 0;
  CONFIGRET result = os::CM_Get_Device_ID_Size(&length, devInst, 0);
  if (result != CR_SUCCESS) {
    status_text = u"GetDeviceID: Nie udało się uzyskać rozmiaru identyfikatora instancji";
    return result;
  }
  std::u16string buffer(static_cast<std::size_t>(length) + 1, u'\0');
  result = os::CM_Get_Device_IDW(devInst, buffer.data(), length + 1, 0);
  if (result != CR_SUCCESS) {
    status_text = u"GetDeviceID: Nie udało się uzyskać identyfikatora instancji";
    return result;
  }
  DeviceID = buffer.substr(0, buffer.find(u'\0'));
  return CR_SUCCESS;
}

}  // namespace VostUsbWardenManager
