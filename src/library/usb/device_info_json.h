// The device document of one connected USB device: its connection information and descriptors,
// the Plug and Play properties of its device node, the drive letters of its volumes, its port,
// whether it is a hub, and its device instance handle.
#pragma once

#include <string>

#include "library/json/json_holder.h"
#include "library/usb/dev_node.h"
#include "library/usb/usb_connection_info.h"

namespace VostUsbWardenManager {

class DeviceInfoJson {
 public:
  DeviceInfoJson() : document_(JsonHolder::CreateObject()) {}
  virtual ~DeviceInfoJson() = default;

  // 0, or the code of the physical device object name's read (the document is then not usable).
  DWORD MakeInfo(int port, const UsbNodeConnectionInformationEx& connInfo, bool isUsbHub, const VolumesMap& volsMap,
                 std::u16string& status_text);
  JsonHolder getJson() const { return document_; }

  // The "DeviceProperty" members that can be read; always 0.
  static DWORD AppendRestProps(DWORD inst, JsonHolder& props, std::u16string& status_text);
  // "ConnectionInformation" and "DeviceDescriptor"; always 0.
  static DWORD AppendDescriptorsDataList(const UsbNodeConnectionInformationEx& connInfo, JsonHolder& jhObj,
                                         std::u16string& status_text);
  // Reads property `prop` and adds it under `propName` in the shape of its code; `addedJSON` gets
  // the added member (null when nothing was added).
  static DWORD ReadDeviceProperty(DWORD inst, DWORD prop, const char16_t* propName, JsonHolder& jhObj,
                                  JsonHolder*& addedJSON, std::u16string& status_text);
  static DWORD AddDEVICE_INSTALL_STATEObject(JsonHolder& jhObj, const char16_t* propName, DWORD wartosc,
                                             JsonHolder*& addedJSON, std::u16string& status_text);
  static DWORD AddINTERFACE_TYPEObject(JsonHolder& jhObj, const char16_t* propName, DWORD wartosc,
                                       JsonHolder*& addedJSON, std::u16string& status_text);
  static DWORD AddDEVICE_REMOVAL_POLICYObject(JsonHolder& jhObj, const char16_t* propName, DWORD wartosc,
                                              JsonHolder*& addedJSON, std::u16string& status_text);

 private:
  JsonHolder document_;
};

}  // namespace VostUsbWardenManager
