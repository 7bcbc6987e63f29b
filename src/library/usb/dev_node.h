// Volumes of USB storage devices, and the names of a device node's bus type.
#pragma once

#include <map>
#include <string>

#include "platform/os.h"

namespace VostUsbWardenManager {

// Physical device object name of a device node -> the drive letters of the volumes on its disks.
using VolumesMap = std::map<std::u16string, std::u16string>;

// The key of a disk: the first two fields of its storage device number.
struct DevNum {
  DWORD DeviceType = 0;
  DWORD DeviceNumber = 0;
  friend bool operator<(const DevNum& a, const DevNum& b) {
    return a.DeviceType != b.DeviceType ? a.DeviceType < b.DeviceType : a.DeviceNumber < b.DeviceNumber;
  }
};

class DevNode {
 public:
  // The letters of every volume A: to Z:, gathered under the parent device node of each disk.
  static DWORD GetVolumesInfo(VolumesMap& volsMap, std::u16string& status_text);
  // "InterfaceTypeUndefined" (-1) ... "MaximumInterfaceType" (17), "<*UnknownInterfaceType*>" otherwise.
  static const char16_t* InterfaceTypeName(int typ);
};

}  // namespace VostUsbWardenManager
