// Access to USB host controllers, hubs, volumes and disks, and look-ups in the Plug and Play
// device tree. One object holds at most one open handle; every operation returns 0 or a Windows
// error (a CONFIGRET value for the device tree) and puts a message into `status_text` on failure.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/handle.h"
#include "platform/os.h"

namespace VostUsbWardenManager {

class UsbNodeConnectionInformationEx;
class UsbConfigurationDescriptor;

// Driver key name of a device node (compared exactly) -> its device instance handle.
using DeviceInstancesMap = std::map<std::u16string, DWORD>;

class DHManager {
 public:
  DHManager() = default;
  DHManager(const DHManager&) = delete;
  DHManager& operator=(const DHManager&) = delete;
  virtual ~DHManager() = default;

  DWORD Open(const char16_t* filePathName, std::u16string& status_text, DWORD dwDesiredAccess, DWORD dwShareMode);
  DWORD Close();
  bool IsOpen() const { return static_cast<bool>(handle_); }

  // --- Host controller and hub queries ---
  DWORD GetHcdDriverKeyName(std::u16string& DriverKeyName, std::u16string& status_text);
  DWORD GetRootHubNameForHost(std::u16string& RootHubName, std::u16string& status_text);
  DWORD GetNodeInfoForHub(USB_NODE_INFORMATION& info, std::u16string& status_text);
  DWORD GetConnectionInfo(const DeviceInstancesMap& mapa, int portNum, UsbNodeConnectionInformationEx& info,
                          std::u16string& status_text);
  DWORD GetConnectionDriverKeyName(int portNum, std::u16string& DriverKeyName, std::u16string& status_text);
  DWORD GetConnectionName(int portNum, std::u16string& ConnectionName, std::u16string& status_text);
  // With language fallback: 0x0409, then 0x0000, then 0x0001.
  DWORD GetConnectionStringDescriptor(int portNum, int inx, std::u16string& wynik, std::u16string& status_text);
  DWORD GetConnectionStringDescriptor(int portNum, int inx, std::uint16_t langID, std::u16string& wynik,
                                      std::u16string& status_text);
  DWORD GetConnectionConfigDescriptor(int portNum, int inx, UsbConfigurationDescriptor& cfg,
                                      std::u16string& status_text);
  DWORD GetStorageDeviceNumber(STORAGE_DEVICE_NUMBER& sdn, std::u16string& status_text);

  // --- Device tree queries ---
  static DWORD GetDeviceInstancesMap(DeviceInstancesMap& mapa, std::u16string& status_text);
  static DWORD GetDevInst(const std::u16string& DriverKeyName, DWORD& devInst, std::u16string& status_text);
  static CONFIGRET GetDeviceDesc(const DWORD& devInst, std::u16string& DeviceDesc, std::u16string& status_text);
  static CONFIGRET GetDeviceLocation(const DWORD& devInst, std::u16string& Location, std::u16string& status_text);
  static CONFIGRET GetDeviceID(const DWORD& devInst, std::u16string& DeviceID, std::u16string& status_text);
  static CONFIGRET GetDeviceRegProp(const DWORD& devInst, DWORD cm_drp, std::u16string& value,
                                    std::u16string& status_text);
  static CONFIGRET GetDeviceRegProp(const DWORD& devInst, DWORD cm_drp, std::vector<std::uint8_t>& value,
                                    std::u16string& status_text);

 private:
  // Sends `code` with `in` and `out`; the bytes returned, or nothing on failure.
  bool Ask(DWORD code, void* in, DWORD in_size, void* out, DWORD out_size, DWORD& returned);
  // The two-step name queries: a short record tells the full length, a second request of that
  // length brings the name. Which step failed decides the caller's message.
  enum class NameStep { Done, First, Memory, Second };
  struct NameAnswer {
    NameStep step;
    DWORD code;
  };
  NameAnswer AskName(DWORD code, int portNum, std::u16string& name);

  os::unique_hfile handle_;
};

}  // namespace VostUsbWardenManager
