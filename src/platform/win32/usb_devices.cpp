// Volumes, the Plug and Play device tree and device setup through the Win32 API. USB host
// controllers, hubs, volumes and disks themselves are opened with CreateFileW and asked with
// DeviceIoControl (files.cpp).
#include "platform/os.h"
#include "platform/win32/text_cast.h"

namespace os {

using win32::wide;

UINT GetDriveTypeW(const char16_t* root) { return ::GetDriveTypeW(wide(root)); }
DWORD GetLogicalDrives() { return ::GetLogicalDrives(); }

CONFIGRET CM_Locate_DevNodeW(DEVINST* devinst, const char16_t* device_id, ULONG flags) {
  return ::CM_Locate_DevNodeW(devinst, const_cast<DEVINSTID_W>(wide(device_id)), flags);
}

CONFIGRET CM_Get_Child(DEVINST* child, DEVINST devinst, ULONG flags) { return ::CM_Get_Child(child, devinst, flags); }

CONFIGRET CM_Get_Sibling(DEVINST* sibling, DEVINST devinst, ULONG flags) {
  return ::CM_Get_Sibling(sibling, devinst, flags);
}

CONFIGRET CM_Get_Parent(DEVINST* parent, DEVINST devinst, ULONG flags) {
  return ::CM_Get_Parent(parent, devinst, flags);
}

CONFIGRET CM_Get_DevNode_Registry_PropertyW(DEVINST devinst, ULONG property, ULONG* type, void* buffer,
                                            ULONG* length, ULONG flags) {
  return ::CM_Get_DevNode_Registry_PropertyW(devinst, property, type, buffer, length, flags);
}

CONFIGRET CM_Get_Device_ID_Size(ULONG* length, DEVINST devinst, ULONG flags) {
  return ::CM_Get_Device_ID_Size(length, devinst, flags);
}

CONFIGRET CM_Get_Device_IDW(DEVINST devinst, char16_t* buffer, ULONG length, ULONG flags) {
  return ::CM_Get_Device_IDW(devinst, wide(buffer), length, flags);
}

HDEVINFO SetupDiGetClassDevsW(const GUID* class_guid, const char16_t* enumerator, HWND parent, DWORD flags) {
  return ::SetupDiGetClassDevsW(class_guid, wide(enumerator), parent, flags);
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) {
  return ::SetupDiEnumDeviceInfo(set, index, data);
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* device, const GUID* interface_class, DWORD index,
                                 SP_DEVICE_INTERFACE_DATA* data) {
  return ::SetupDiEnumDeviceInterfaces(set, device, interface_class, index, data);
}

BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* interface_data,
                                      SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD detail_size, DWORD* required,
                                      SP_DEVINFO_DATA* device) {
  return ::SetupDiGetDeviceInterfaceDetailW(set, interface_data,
                                            reinterpret_cast<::SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detail),
                                            detail_size, required, device);
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) { return ::SetupDiDestroyDeviceInfoList(set); }

}  // namespace os
