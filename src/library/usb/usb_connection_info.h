// The connection record of one hub port: what the hub says of the port, the device descriptor
// record of the device on it, its open pipes, and the Plug and Play data of its device node.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "library/usb/dh_manager.h"
#include "library/usb/usb_descriptors.h"

namespace VostUsbWardenManager {

// "NoDeviceConnected" ... "DeviceReset" for 0 to 10, "<* Unknown Connection Status *>" otherwise.
const char16_t* ConnectionStatusNameW(std::uint32_t st);

class UsbNodeConnectionInformationEx {
 public:
  UsbNodeConnectionInformationEx() = default;
  virtual ~UsbNodeConnectionInformationEx() = default;
  UsbNodeConnectionInformationEx(const UsbNodeConnectionInformationEx&) = default;
  UsbNodeConnectionInformationEx& operator=(const UsbNodeConnectionInformationEx&) = default;

  // From the 35-byte connection information `v` and the pipe entries after it: as many pipes as
  // the port reports open and `pipes` holds. The device descriptor reads its configurations
  // through `dhm`.
  void assign(RawBytes v, RawBytes pipes, DHManager& dhm);
  // The fields alone, without reading configurations.
  void assign_fields(RawBytes v, RawBytes pipes);
  // The driver key name, device node and its description, identifier and location; the hub name.
  // 0, or the code of the driver key name's read for a connected device.
  DWORD CompleteFileInfo(const DeviceInstancesMap& mapa, DHManager& dhm, std::u16string& status_text);
  // The device's strings, with the device node's identifier and manufacturer for a serial number
  // or manufacturer the device names but does not give.
  DWORD CompleteStrings(DHManager& dhm);
  JsonHolder ToJsonHolder() const;

  std::uint32_t ConnectionIndex = 0;
  UsbDeviceDescriptor DeviceDescriptor;
  std::uint8_t CurrentConfigurationValue = 0;
  std::uint8_t Speed = 0;
  std::uint8_t DeviceIsHub = 0;
  std::uint16_t DeviceAddress = 0;
  std::uint32_t NumberOfOpenPipes = 0;
  std::uint32_t ConnectionStatus = 0;
  std::vector<UsbPipeInfo> PipeList;

  std::u16string DriverKeyName;
  std::u16string NodeName;  // the hub on this port; empty for other devices
  std::u16string DeviceDesc;
  std::u16string DeviceID;
  DWORD DevInst = 0;
  std::u16string LocationInfo;
};

}  // namespace VostUsbWardenManager
