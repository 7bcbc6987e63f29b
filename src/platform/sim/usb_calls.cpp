// Volumes, the Plug and Play device tree and device setup on the simulated host.
#include "platform/os.h"

namespace os {

UINT GetDriveTypeW(const char16_t*) { return DRIVE_NO_ROOT_DIR; }

DWORD GetLogicalDrives() {
  os::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return 0;
}

CONFIGRET CM_Locate_DevNodeW(DEVINST*, const char16_t*, ULONG) { return CR_FAILURE; }
CONFIGRET CM_Get_Child(DEVINST*, DEVINST, ULONG) { return CR_FAILURE; }
CONFIGRET CM_Get_Sibling(DEVINST*, DEVINST, ULONG) { return CR_FAILURE; }
CONFIGRET CM_Get_Parent(DEVINST*, DEVINST, ULONG) { return CR_FAILURE; }
CONFIGRET CM_Get_DevNode_Registry_PropertyW(DEVINST, ULONG, ULONG*, void*, ULONG*, ULONG) { return CR_FAILURE; }
CONFIGRET CM_Get_Device_ID_Size(ULONG*, DEVINST, ULONG) { return CR_FAILURE; }
CONFIGRET CM_Get_Device_IDW(DEVINST, char16_t*, ULONG, ULONG) { return CR_FAILURE; }

HDEVINFO SetupDiGetClassDevsW(const GUID*, const char16_t*, HWND, DWORD) {
  os::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return INVALID_HANDLE_VALUE;
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO, DWORD, SP_DEVINFO_DATA*) {
  os::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return FALSE;
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO, SP_DEVINFO_DATA*, const GUID*, DWORD, SP_DEVICE_INTERFACE_DATA*) {
  os::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return FALSE;
}

BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO, SP_DEVICE_INTERFACE_DATA*, SP_DEVICE_INTERFACE_DETAIL_DATA_W*, DWORD,
                                      DWORD*, SP_DEVINFO_DATA*) {
  os::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return FALSE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO) {
  os::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return FALSE;
}

}  // namespace os
