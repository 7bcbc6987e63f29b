// Win32 types, constants and records of the USB stack, the Plug and Play configuration manager,
// device setup and volumes for the simulated host. Values and layouts are those of the Windows SDK
// (x64): the USB records are byte-packed as the SDK packs them, so a record filled here has the same
// bytes as one filled by Windows. Records that carry text are declared in platform/os.h with
// char16_t text. Included only through platform/sim/sim_types.h.
#pragma once

using USHORT = std::uint16_t;
using CONFIGRET = DWORD;
using DEVINST = DWORD;
using DEVNODE = DWORD;
using HDEVINFO = void*;
using DEVICE_TYPE = DWORD;

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};

constexpr bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}

// Device interface classes.
inline constexpr GUID GUID_DEVINTERFACE_DISK = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

// Errors of device setup and of the USB stack.
constexpr DWORD ERROR_NOT_READY = 21;
constexpr DWORD ERROR_NOT_LOCKED = 158;
constexpr DWORD ERROR_INVALID_USER_BUFFER = 1784;
constexpr DWORD ERROR_DEVICE_IN_USE = 2404;
constexpr DWORD ERROR_INVALID_FLAG_NUMBER = 186;
constexpr DWORD ERROR_INTERNAL_ERROR = 1359;
constexpr DWORD ERROR_NO_SUCH_DEVINST = 0xE000020B;
constexpr DWORD ERROR_INVALID_CLASS = 0xE0000209;

// Control codes (METHOD_BUFFERED, FILE_ANY_ACCESS unless noted). The root hub name and the node
// information share one code: a host controller answers the first, a hub the second.
constexpr DWORD IOCTL_USB_GET_ROOT_HUB_NAME = 0x220408;
constexpr DWORD IOCTL_USB_GET_NODE_INFORMATION = 0x220408;
constexpr DWORD IOCTL_USB_GET_NODE_CONNECTION_INFORMATION = 0x22040C;
constexpr DWORD IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION = 0x220410;
constexpr DWORD IOCTL_USB_GET_NODE_CONNECTION_NAME = 0x220414;
constexpr DWORD IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME = 0x220420;
constexpr DWORD IOCTL_GET_HCD_DRIVERKEY_NAME = 0x220424;
constexpr DWORD IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX = 0x220448;
constexpr DWORD IOCTL_STORAGE_GET_DEVICE_NUMBER = 0x2D1080;
constexpr DWORD IOCTL_STORAGE_MEDIA_REMOVAL = 0x2D4804;  // FILE_READ_ACCESS
constexpr DWORD IOCTL_STORAGE_EJECT_MEDIA = 0x2D4808;    // FILE_READ_ACCESS
constexpr DWORD FSCTL_LOCK_VOLUME = 0x90018;
constexpr DWORD FSCTL_UNLOCK_VOLUME = 0x9001C;
constexpr DWORD FSCTL_DISMOUNT_VOLUME = 0x90020;

// Device types of STORAGE_DEVICE_NUMBER.
constexpr DEVICE_TYPE FILE_DEVICE_CD_ROM = 0x02;
constexpr DEVICE_TYPE FILE_DEVICE_DISK = 0x07;

// USB descriptor types and requests.
constexpr BYTE USB_DEVICE_DESCRIPTOR_TYPE = 0x01;
constexpr BYTE USB_CONFIGURATION_DESCRIPTOR_TYPE = 0x02;
constexpr BYTE USB_STRING_DESCRIPTOR_TYPE = 0x03;
constexpr BYTE USB_INTERFACE_DESCRIPTOR_TYPE = 0x04;
constexpr BYTE USB_ENDPOINT_DESCRIPTOR_TYPE = 0x05;
constexpr BYTE USB_REQUEST_GET_DESCRIPTOR = 0x06;

// Configuration manager results.
constexpr CONFIGRET CR_SUCCESS = 0x00;
constexpr CONFIGRET CR_OUT_OF_MEMORY = 0x02;
constexpr CONFIGRET CR_INVALID_POINTER = 0x03;
constexpr CONFIGRET CR_INVALID_FLAG = 0x04;
constexpr CONFIGRET CR_INVALID_DEVNODE = 0x05;
constexpr CONFIGRET CR_INVALID_DEVINST = CR_INVALID_DEVNODE;
constexpr CONFIGRET CR_NO_SUCH_DEVNODE = 0x0D;
constexpr CONFIGRET CR_NO_SUCH_DEVINST = CR_NO_SUCH_DEVNODE;
constexpr CONFIGRET CR_FAILURE = 0x13;
constexpr CONFIGRET CR_BUFFER_SMALL = 0x1A;
constexpr CONFIGRET CR_REGISTRY_ERROR = 0x1D;
constexpr CONFIGRET CR_INVALID_DEVICE_ID = 0x1E;
constexpr CONFIGRET CR_INVALID_DATA = 0x1F;
constexpr CONFIGRET CR_NO_SUCH_VALUE = 0x25;
constexpr CONFIGRET CR_INVALID_PROPERTY = 0x35;
constexpr ULONG CM_LOCATE_DEVNODE_NORMAL = 0;

// Device registry properties (CM_DRP_*).
constexpr ULONG CM_DRP_DEVICEDESC = 0x01;
constexpr ULONG CM_DRP_HARDWAREID = 0x02;
constexpr ULONG CM_DRP_COMPATIBLEIDS = 0x03;
constexpr ULONG CM_DRP_SERVICE = 0x05;
constexpr ULONG CM_DRP_CLASS = 0x08;
constexpr ULONG CM_DRP_CLASSGUID = 0x09;
constexpr ULONG CM_DRP_DRIVER = 0x0A;
constexpr ULONG CM_DRP_CONFIGFLAGS = 0x0B;
constexpr ULONG CM_DRP_MFG = 0x0C;
constexpr ULONG CM_DRP_FRIENDLYNAME = 0x0D;
constexpr ULONG CM_DRP_LOCATION_INFORMATION = 0x0E;
constexpr ULONG CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME = 0x0F;
constexpr ULONG CM_DRP_CAPABILITIES = 0x10;
constexpr ULONG CM_DRP_UI_NUMBER = 0x11;
constexpr ULONG CM_DRP_UPPERFILTERS = 0x12;
constexpr ULONG CM_DRP_LOWERFILTERS = 0x13;
constexpr ULONG CM_DRP_BUSTYPEGUID = 0x14;
constexpr ULONG CM_DRP_LEGACYBUSTYPE = 0x15;
constexpr ULONG CM_DRP_BUSNUMBER = 0x16;
constexpr ULONG CM_DRP_ENUMERATOR_NAME = 0x17;
constexpr ULONG CM_DRP_ADDRESS = 0x1D;
constexpr ULONG CM_DRP_UI_NUMBER_DESC_FORMAT = 0x1E;
constexpr ULONG CM_DRP_REMOVAL_POLICY = 0x20;
constexpr ULONG CM_DRP_REMOVAL_POLICY_HW_DEFAULT = 0x21;
constexpr ULONG CM_DRP_REMOVAL_POLICY_OVERRIDE = 0x22;
constexpr ULONG CM_DRP_INSTALL_STATE = 0x23;
constexpr ULONG CM_DRP_LOCATION_PATHS = 0x24;
constexpr ULONG CM_DRP_BASE_CONTAINERID = 0x25;
constexpr ULONG CM_DRP_MIN = 0x01;
constexpr ULONG CM_DRP_MAX = 0x25;
constexpr DWORD REG_DWORD_LITTLE_ENDIAN = 4;

// Device setup.
constexpr DWORD DIGCF_DEFAULT = 0x01;
constexpr DWORD DIGCF_PRESENT = 0x02;
constexpr DWORD DIGCF_ALLCLASSES = 0x04;
constexpr DWORD DIGCF_PROFILE = 0x08;
constexpr DWORD DIGCF_DEVICEINTERFACE = 0x10;
constexpr DWORD SPINT_ACTIVE = 0x01;
constexpr DWORD SPINT_DEFAULT = 0x02;
constexpr DWORD SPINT_REMOVED = 0x04;

// Drive types (GetDriveTypeW).
constexpr UINT DRIVE_UNKNOWN = 0;
constexpr UINT DRIVE_NO_ROOT_DIR = 1;
constexpr UINT DRIVE_REMOVABLE = 2;
constexpr UINT DRIVE_FIXED = 3;
constexpr UINT DRIVE_REMOTE = 4;
constexpr UINT DRIVE_CDROM = 5;
constexpr UINT DRIVE_RAMDISK = 6;

struct SP_DEVINFO_DATA {
  DWORD cbSize;
  GUID ClassGuid;
  DWORD DevInst;
  ULONG_PTR Reserved;
};

struct SP_DEVICE_INTERFACE_DATA {
  DWORD cbSize;
  GUID InterfaceClassGuid;
  DWORD Flags;
  ULONG_PTR Reserved;
};

struct STORAGE_DEVICE_NUMBER {
  DEVICE_TYPE DeviceType;
  ULONG DeviceNumber;
  ULONG PartitionNumber;
};

struct PREVENT_MEDIA_REMOVAL {
  BOOLEAN PreventMediaRemoval;
};

enum USB_HUB_NODE { UsbHub, UsbMIParent };

enum USB_CONNECTION_STATUS {
  NoDeviceConnected,
  DeviceConnected,
  DeviceFailedEnumeration,
  DeviceGeneralFailure,
  DeviceCausedOvercurrent,
  DeviceNotEnoughPower,
  DeviceNotEnoughBandwidth,
  DeviceHubNestedTooDeeply,
  DeviceInLegacyHub,
  DeviceEnumerating,
  DeviceReset
};

#pragma pack(push, 1)

struct USB_DEVICE_DESCRIPTOR {
  UCHAR bLength;
  UCHAR bDescriptorType;
  USHORT bcdUSB;
  UCHAR bDeviceClass;
  UCHAR bDeviceSubClass;
  UCHAR bDeviceProtocol;
  UCHAR bMaxPacketSize0;
  USHORT idVendor;
  USHORT idProduct;
  USHORT bcdDevice;
  UCHAR iManufacturer;
  UCHAR iProduct;
  UCHAR iSerialNumber;
  UCHAR bNumConfigurations;
};

struct USB_CONFIGURATION_DESCRIPTOR {
  UCHAR bLength;
  UCHAR bDescriptorType;
  USHORT wTotalLength;
  UCHAR bNumInterfaces;
  UCHAR bConfigurationValue;
  UCHAR iConfiguration;
  UCHAR bmAttributes;
  UCHAR MaxPower;
};

struct USB_INTERFACE_DESCRIPTOR {
  UCHAR bLength;
  UCHAR bDescriptorType;
  UCHAR bInterfaceNumber;
  UCHAR bAlternateSetting;
  UCHAR bNumEndpoints;
  UCHAR bInterfaceClass;
  UCHAR bInterfaceSubClass;
  UCHAR bInterfaceProtocol;
  UCHAR iInterface;
};

struct USB_ENDPOINT_DESCRIPTOR {
  UCHAR bLength;
  UCHAR bDescriptorType;
  UCHAR bEndpointAddress;
  UCHAR bmAttributes;
  USHORT wMaxPacketSize;
  UCHAR bInterval;
};

struct USB_COMMON_DESCRIPTOR {
  UCHAR bLength;
  UCHAR bDescriptorType;
};

struct USB_HUB_DESCRIPTOR {
  UCHAR bDescriptorLength;
  UCHAR bDescriptorType;
  UCHAR bNumberOfPorts;
  USHORT wHubCharacteristics;
  UCHAR bPowerOnToPowerGood;
  UCHAR bHubControlCurrent;
  UCHAR bRemoveAndPowerMask[64];
};

struct USB_HUB_INFORMATION {
  USB_HUB_DESCRIPTOR HubDescriptor;
  BOOLEAN HubIsBusPowered;
};

struct USB_MI_PARENT_INFORMATION {
  ULONG NumberOfInterfaces;
};

struct USB_NODE_INFORMATION {
  USB_HUB_NODE NodeType;
  union {
    USB_HUB_INFORMATION HubInformation;
    USB_MI_PARENT_INFORMATION MiParentInformation;
  } u;
};

struct USB_PIPE_INFO {
  USB_ENDPOINT_DESCRIPTOR EndpointDescriptor;
  ULONG ScheduleOffset;
};

struct USB_NODE_CONNECTION_INFORMATION_EX {
  ULONG ConnectionIndex;
  USB_DEVICE_DESCRIPTOR DeviceDescriptor;
  UCHAR CurrentConfigurationValue;
  UCHAR Speed;
  BOOLEAN DeviceIsHub;
  USHORT DeviceAddress;
  ULONG NumberOfOpenPipes;
  USB_CONNECTION_STATUS ConnectionStatus;
  USB_PIPE_INFO PipeList[0];
};

struct USB_DESCRIPTOR_REQUEST {
  ULONG ConnectionIndex;
  struct {
    UCHAR bmRequest;
    UCHAR bRequest;
    USHORT wValue;
    USHORT wIndex;
    USHORT wLength;
  } SetupPacket;
  UCHAR Data[0];
};

#pragma pack(pop)

// Speeds of USB_NODE_CONNECTION_INFORMATION_EX.
enum USB_DEVICE_SPEED { UsbLowSpeed = 0, UsbFullSpeed, UsbHighSpeed, UsbSuperSpeed };
