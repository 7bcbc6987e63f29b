// A device information set of device setup, and the device interfaces it holds.
#pragma once

#include <list>
#include <string>

#include "platform/handle.h"
#include "platform/os.h"

namespace VostUsbWardenManager {

// One device interface of a set.
class SetupFullDetails {
 public:
  virtual ~SetupFullDetails() = default;

  GUID ClassGuid{};  // the device's setup class
  std::u16string DevicePath;
  DWORD DevInst = 0;
  DWORD Flags = 0;
  DWORD Index = 0;  // the enumeration index
  GUID InterfaceClassGuid{};
};

class SetupManager {
 public:
  SetupManager() = default;
  SetupManager(const SetupManager&) = delete;
  SetupManager& operator=(const SetupManager&) = delete;
  virtual ~SetupManager() = default;

  DWORD OpenForClass(const GUID* ClassGuid, std::u16string& status_text, DWORD flags);
  // Every interface of class `InterfaceClassGuid` with its device path; `sfd` is replaced only
  // when the whole enumeration succeeds.
  DWORD EnumDeviceInterfacesDetails(const GUID* InterfaceClassGuid, std::list<SetupFullDetails>& sfd,
                                    std::u16string& status_text);
  DWORD Close();

 private:
  os::unique_hdevinfo set_;
};

}  // namespace VostUsbWardenManager
