// The simulated USB hardware: the platform calls against small machine fixtures, faults, bad
// fixtures, the repository's fixtures, and the sim CLI's machine/plug/unplug as real processes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/handle.h"
#include "platform/os.h"
#include "platform/sim/usb_fixture.h"
#include "platform/sim/usb_store.h"
#include "support/run_command.h"
#include "support/sim_root.h"

namespace {

namespace usb = os::sim::usb;

// Controller HCD2 only (indices 0 and 1 missing), four root ports:
// 1 keyboard (raw descriptors), 2 a device with five pipes and faults, 3 empty, 4 a hub whose port 2
// holds a memory stick with volume E: (lock fails twice) and port 3 a DVD drive with R:. The
// machine's own disk has C:.
const char kMachine[] = R"({
  "controllers": [{"index": 2, "ports": 4, "devices": {
    "1": {"descriptors": {
            "device": "12 01 10 01 00 00 00 08 2c 1a 2d 00 10 01 01 02 00 01",
            "configurations": ["09 02 22 00 01 01 00 a0 32 09 04 00 00 01 03 01 01 00 09 21 10 01 00 01 22 41 00 07 05 81 03 08 00 0a"],
            "strings": {"0x0000": {"0": "04 03 09 04"}, "0x0409": {"1": "06 03 41 00 42 00", "2": "04 03 4b 00"}}},
          "speed": "low"},
    "2": {"vendor_id": "0x1234", "product_id": "0x5678", "manufacturer": "Maker", "product": "Gadget", "serial": "SN1",
          "strings": {"0x0000": {"3": "Only neutral"}},
          "interfaces": [{"class": 255, "endpoints": [{"address": "0x81"}, {"address": "0x02"}, {"address": "0x83"},
                                                      {"address": "0x04"}, {"address": "0x85", "type": "interrupt"}]}],
          "faults": {"string_errors": [{"index": 3, "language": "0x0409"}], "configuration_errors": [1],
                     "odd_length_strings": [{"index": 1}], "wrong_type_strings": [{"index": 2}], "missing_properties": ["FriendlyName", "LocationInformation"]},
          "configurations": [{"interfaces": [{"class": 255, "endpoints": [{"address": "0x81"}, {"address": "0x02"}, {"address": "0x83"},
                                                      {"address": "0x04"}, {"address": "0x85", "type": "interrupt"}]}]},
                             {"interfaces": []}]},
    "4": {"vendor_id": "0x05E3", "product_id": "0x0610", "class": 9,
          "interfaces": [{"class": 9, "endpoints": [{"address": "0x81", "type": "interrupt"}]}],
          "hub": {"ports": 4, "devices": {
            "2": {"vendor_id": "0x0951", "product_id": "0x1666", "product": "Stick",
                  "interfaces": [{"class": 8, "subclass": 6, "protocol": 80, "endpoints": [{"address": "0x81"}, {"address": "0x02"}]}],
                  "disks": [{"vendor": "King", "product": "Stick", "serial": "S1", "volumes": [{"letter": "E", "lock_failures": 2}]}]},
            "3": {"vendor_id": "0x0E8D", "product_id": "0x1887", "product": "DVD",
                  "interfaces": [{"class": 8, "subclass": 2, "protocol": 80, "endpoints": [{"address": "0x81"}, {"address": "0x02"}]}],
                  "disks": [{"device_type": "cdrom", "volumes": [{"letter": "R"}]}]}}}}
  }}],
  "disks": [{"volumes": [{"letter": "C", "type": "fixed"}]}]
})";

class UsbSim : public testing_support::FreshHost {
 protected:
  void SetUp() override {
    FreshHost::SetUp();
    load(kMachine);
  }

  void load(const std::string& text) { ASSERT_EQ("", usb::replace_machine(usb::read_machine(text, native_dir()))); }

  static os::unique_hfile open(const std::u16string& name) {
    return os::unique_hfile(os::CreateFileW(name.c_str(), GENERIC_READ, 7, nullptr, OPEN_EXISTING, 0, nullptr));
  }

  // The name of a two-step name query: the short query's ActualLength, then the full one.
  static std::u16string name_query(HANDLE h, DWORD code, DWORD header, ULONG port = 0) {
    std::vector<std::uint8_t> buffer(header + 2);
    std::memcpy(buffer.data(), &port, 4);
    DWORD returned = 0;
    EXPECT_TRUE(os::DeviceIoControl(h, code, buffer.data(), static_cast<DWORD>(buffer.size()), buffer.data(),
                                    static_cast<DWORD>(buffer.size()), &returned, nullptr));
    EXPECT_EQ(header + 2, returned);
    ULONG actual = 0;
    std::memcpy(&actual, buffer.data() + header - 4, 4);
    buffer.assign(actual, 0);
    std::memcpy(buffer.data(), &port, 4);
    EXPECT_TRUE(os::DeviceIoControl(h, code, buffer.data(), actual, buffer.data(), actual, &returned, nullptr));
    EXPECT_EQ(actual, returned);
    return std::u16string(reinterpret_cast<const char16_t*>(buffer.data() + header));
  }

  struct Connection {
    BOOL ok;
    DWORD error;
    DWORD returned;
    USB_NODE_CONNECTION_INFORMATION_EX info;
    std::vector<std::uint8_t> bytes;
  };
  static Connection connection(HANDLE hub, ULONG port, ULONG pipes) {
    Connection c{};
    c.bytes.assign(35 + 11 * pipes, 0);
    std::memcpy(c.bytes.data(), &port, 4);
    c.ok = os::DeviceIoControl(hub, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, c.bytes.data(),
                               static_cast<DWORD>(c.bytes.size()), c.bytes.data(), static_cast<DWORD>(c.bytes.size()),
                               &c.returned, nullptr);
    c.error = c.ok ? 0 : os::GetLastError();
    std::memcpy(&c.info, c.bytes.data(), 35);
    return c;
  }

  // A descriptor request as the inventory sends it: `size` bytes of buffer, wLength `length`.
  static std::vector<std::uint8_t> descriptor(HANDLE hub, ULONG port, WORD value, WORD index, WORD length, DWORD size,
                                              DWORD* error) {
    std::vector<std::uint8_t> buffer(size, 0);
    USB_DESCRIPTOR_REQUEST request{};
    request.ConnectionIndex = port;
    request.SetupPacket = {0x80, USB_REQUEST_GET_DESCRIPTOR, value, index, length};
    std::memcpy(buffer.data(), &request, sizeof request);
    DWORD returned = 0;
    *error = os::DeviceIoControl(hub, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, buffer.data(), size, buffer.data(),
                                 size, &returned, nullptr)
                 ? 0
                 : os::GetLastError();
    if (*error) return {};
    return std::vector<std::uint8_t>(buffer.begin() + 12, buffer.begin() + returned);
  }

  std::u16string root_hub_name() {
    auto hcd = open(u"\\\\.\\HCD2");
    return name_query(hcd.get(), IOCTL_USB_GET_ROOT_HUB_NAME, 4);
  }
};

std::u16string text_lower(std::u16string s) {
  for (char16_t& c : s)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return s;
}

std::vector<std::uint8_t> hex(const char* text) {
  std::vector<std::uint8_t> bytes;
  for (const char* p = text; *p;) {
    if (*p == ' ') {
      ++p;
      continue;
    }
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(std::string(p, 2), nullptr, 16)));
    p += 2;
  }
  return bytes;
}

TEST_F(UsbSim, ControllersAreFoundByIndexWithGaps) {
  for (const char16_t* missing : {u"\\\\.\\HCD0", u"\\\\.\\HCD1", u"\\\\.\\HCD3", u"\\\\.\\HCDX"}) {
    EXPECT_FALSE(open(missing)) << "opened a missing controller";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, os::GetLastError());
  }
  auto hcd = open(u"\\\\.\\hcd2");
  ASSERT_TRUE(hcd);
  const std::u16string key = name_query(hcd.get(), IOCTL_GET_HCD_DRIVERKEY_NAME, 4);
  EXPECT_EQ(0u, key.find(u"{36fc9e60-c465-11cf-8056-444553540000}\\"));
  const std::u16string root = name_query(hcd.get(), IOCTL_USB_GET_ROOT_HUB_NAME, 4);
  EXPECT_NE(std::u16string::npos, root.find(u"ROOT_HUB30"));
  EXPECT_TRUE(open(u"\\\\.\\" + root)) << "the root hub opens by the name the controller gives";
  // A record shorter than its header is refused; an unknown request is not a function of the device.
  std::uint8_t small[4];
  DWORD returned = 0;
  EXPECT_FALSE(os::DeviceIoControl(hcd.get(), IOCTL_GET_HCD_DRIVERKEY_NAME, nullptr, 0, small, 4, &returned, nullptr));
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, os::GetLastError());
  EXPECT_FALSE(os::DeviceIoControl(hcd.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, small, 4, &returned, nullptr));
  EXPECT_EQ(ERROR_INVALID_FUNCTION, os::GetLastError());
}

TEST_F(UsbSim, NodeInformationAndConnections) {
  auto hub = open(u"\\\\.\\" + root_hub_name());
  ASSERT_TRUE(hub);
  USB_NODE_INFORMATION node{};
  DWORD returned = 0;
  ASSERT_TRUE(os::DeviceIoControl(hub.get(), IOCTL_USB_GET_NODE_INFORMATION, &node, 76, &node, 76, &returned, nullptr));
  EXPECT_EQ(76u, returned);
  EXPECT_EQ(UsbHub, node.NodeType);
  EXPECT_EQ(4, node.u.HubInformation.HubDescriptor.bNumberOfPorts);

  struct Case {
    ULONG port;
    ULONG status;
    ULONG pipes;
    BOOLEAN is_hub;
    USHORT vendor;
  } const cases[] = {{1, DeviceConnected, 1, 0, 0x1A2C}, {3, NoDeviceConnected, 0, 0, 0}, {4, DeviceConnected, 1, 1, 0x05E3}};
  for (const Case& c : cases) {
    const Connection got = connection(hub.get(), c.port, 3);
    ASSERT_TRUE(got.ok) << "port " << c.port;
    EXPECT_EQ(c.port, +got.info.ConnectionIndex);
    EXPECT_EQ(c.status, static_cast<ULONG>(+got.info.ConnectionStatus)) << "port " << c.port;
    EXPECT_EQ(c.pipes, +got.info.NumberOfOpenPipes) << "port " << c.port;
    EXPECT_EQ(c.is_hub, got.info.DeviceIsHub) << "port " << c.port;
    EXPECT_EQ(c.vendor, +got.info.DeviceDescriptor.idVendor) << "port " << c.port;
    EXPECT_EQ(35 + 11 * c.pipes, got.returned);
  }
  // The keyboard's pipe is its endpoint, although a HID descriptor stands between it and the interface.
  const Connection keyboard = connection(hub.get(), 1, 3);
  EXPECT_EQ(hex("07 05 81 03 08 00 0a"), std::vector<std::uint8_t>(keyboard.bytes.begin() + 35, keyboard.bytes.begin() + 42));
  EXPECT_EQ(UsbLowSpeed, keyboard.info.Speed);

  for (ULONG port : {0u, 5u}) {
    EXPECT_FALSE(connection(hub.get(), port, 3).ok);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, os::GetLastError());
  }
}

TEST_F(UsbSim, TooSmallPipeListReportsThePipeCount) {
  auto hub = open(u"\\\\.\\" + root_hub_name());
  const Connection short_list = connection(hub.get(), 2, 3);
  EXPECT_FALSE(short_list.ok);
  EXPECT_EQ(ERROR_MORE_DATA, short_list.error);
  EXPECT_EQ(5u, +short_list.info.NumberOfOpenPipes);
  EXPECT_EQ(35u + 33u, short_list.returned);
  const Connection full = connection(hub.get(), 2, 5);
  ASSERT_TRUE(full.ok);
  EXPECT_EQ(35u + 55u, full.returned);
  EXPECT_EQ(0x85, full.bytes[35 + 4 * 11 + 2]);  // the fifth endpoint's address
}

TEST_F(UsbSim, ConnectionNamesAreTwoStep) {
  auto hub = open(u"\\\\.\\" + root_hub_name());
  const std::u16string hub_name = name_query(hub.get(), IOCTL_USB_GET_NODE_CONNECTION_NAME, 8, 4);
  EXPECT_NE(std::u16string::npos, hub_name.find(u"VID_05E3&PID_0610"));
  EXPECT_TRUE(open(u"\\\\.\\" + hub_name));
  // A device that is no hub has an empty name: ActualLength is the bare record.
  EXPECT_EQ(u"", name_query(hub.get(), IOCTL_USB_GET_NODE_CONNECTION_NAME, 8, 1));
  const std::u16string key = name_query(hub.get(), IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME, 8, 1);
  EXPECT_EQ(0u, key.find(u"{745a17a0-74d3-11d0-b6fe-00a0c90f57da}\\"));  // HID class
  std::uint8_t record[10] = {3, 0, 0, 0};
  DWORD returned = 0;
  EXPECT_FALSE(os::DeviceIoControl(hub.get(), IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME, record, 10, record, 10,
                                   &returned, nullptr));
  EXPECT_EQ(ERROR_DEVICE_NOT_CONNECTED, os::GetLastError()) << "an empty port has no driver key";
}

TEST_F(UsbSim, DescriptorsAreWhatTheDeviceReturns) {
  auto hub = open(u"\\\\.\\" + root_hub_name());
  struct Case {
    const char* what;
    ULONG port;
    WORD value, index, length;
    DWORD size;
    DWORD error;
    std::vector<std::uint8_t> bytes;
  } const cases[] = {
      {"device descriptor", 1, 0x0100, 0, 18, 30, 0, hex("12 01 10 01 00 00 00 08 2c 1a 2d 00 10 01 01 02 00 01")},
      {"configuration header", 1, 0x0200, 0, 9, 21, 0, hex("09 02 22 00 01 01 00 a0 32")},
      {"whole configuration", 1, 0x0200, 0, 34, 12 + 34, 0,
       hex("09 02 22 00 01 01 00 a0 32 09 04 00 00 01 03 01 01 00 09 21 10 01 00 01 22 41 00 07 05 81 03 08 00 0a")},
      {"string shorter than asked", 1, 0x0302, 0x0409, 257, 269, 0, hex("04 03 4b 00")},
      {"language list", 1, 0x0300, 0, 257, 269, 0, hex("04 03 09 04")},
      {"missing string", 1, 0x0305, 0x0409, 257, 269, ERROR_GEN_FAILURE, {}},
      {"missing configuration", 1, 0x0201, 0, 9, 21, ERROR_GEN_FAILURE, {}},
      {"string failing in English", 2, 0x0303, 0x0409, 257, 269, ERROR_GEN_FAILURE, {}},
      {"same string in language 0", 2, 0x0303, 0x0000, 257, 269, 0, hex("1a 03 4f 00 6e 00 6c 00 79 00 20 00 6e 00 65 00 75 00 74 00 72 00 61 00 6c 00")},
      {"unreadable configuration", 2, 0x0201, 0, 9, 21, ERROR_GEN_FAILURE, {}},
      {"empty port", 3, 0x0100, 0, 18, 30, ERROR_DEVICE_NOT_CONNECTED, {}},
  };
  for (const Case& c : cases) {
    DWORD error = 0;
    const auto bytes = descriptor(hub.get(), c.port, c.value, c.index, c.length, c.size, &error);
    EXPECT_EQ(c.error, error) << c.what;
    EXPECT_EQ(c.bytes, bytes) << c.what;
  }
  // The odd-length fault makes bLength odd with the extra byte sent.
  DWORD error = 0;
  const auto odd = descriptor(hub.get(), 2, 0x0301, 0x0409, 257, 269, &error);
  ASSERT_EQ(0u, error);
  EXPECT_EQ(1, odd[0] % 2);
  EXPECT_EQ(odd[0], odd.size());
  const auto wrong_type = descriptor(hub.get(), 2, 0x0302, 0x0409, 257, 269, &error);
  ASSERT_EQ(0u, error);
  EXPECT_EQ(USB_CONFIGURATION_DESCRIPTOR_TYPE, wrong_type.at(1));
}

TEST_F(UsbSim, FaultsOfConnectionDriverKeyAndHubOpening) {
  load(R"({"controllers": [{"index": 0, "ports": 3, "devices": {
      "1": {"vendor_id": 1, "product_id": 2, "faults": {"connection_status": 2}},
      "2": {"vendor_id": 1, "product_id": 3, "faults": {"driver_key_error": 31}},
      "3": {"vendor_id": 1, "product_id": 4, "class": 9, "hub": {"ports": 2}, "faults": {"open_error": 5}}}}]})");
  auto hcd = open(u"\\\\.\\HCD0");
  auto hub = open(u"\\\\.\\" + name_query(hcd.get(), IOCTL_USB_GET_ROOT_HUB_NAME, 4));
  const Connection failed = connection(hub.get(), 1, 3);
  ASSERT_TRUE(failed.ok);
  EXPECT_EQ(DeviceFailedEnumeration, +failed.info.ConnectionStatus);
  EXPECT_EQ(0, +failed.info.DeviceDescriptor.idVendor) << "no descriptor from a device that failed enumeration";

  std::uint8_t record[10] = {2, 0, 0, 0};
  DWORD returned = 0;
  EXPECT_FALSE(os::DeviceIoControl(hub.get(), IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME, record, 10, record, 10,
                                   &returned, nullptr));
  EXPECT_EQ(31u, os::GetLastError());

  const std::u16string hub_name = name_query(hub.get(), IOCTL_USB_GET_NODE_CONNECTION_NAME, 8, 3);
  ASSERT_FALSE(hub_name.empty());
  EXPECT_FALSE(open(u"\\\\.\\" + hub_name));
  EXPECT_EQ(ERROR_ACCESS_DENIED, os::GetLastError());
}

TEST_F(UsbSim, DeviceTreeWalkAndProperties) {
  DEVINST root = 0;
  ASSERT_EQ(CR_SUCCESS, os::CM_Locate_DevNodeW(&root, nullptr, 0));
  // Depth first as the inventory walks it: every node's driver key and instance id.
  std::vector<std::u16string> ids;
  DEVINST node = root;
  for (;;) {
    ULONG size = 0;
    ASSERT_EQ(CR_SUCCESS, os::CM_Get_Device_ID_Size(&size, node, 0));
    std::u16string id(size, u'?');
    ASSERT_EQ(CR_SUCCESS, os::CM_Get_Device_IDW(node, id.data(), size, 0)) << "exactly the length, without a NUL";
    ids.push_back(id);
    DEVINST next = 0;
    if (os::CM_Get_Child(&next, node, 0) == CR_SUCCESS) {
      node = next;
      continue;
    }
    while (os::CM_Get_Sibling(&next, node, 0) != CR_SUCCESS) {
      if (os::CM_Get_Parent(&node, node, 0) != CR_SUCCESS) goto walked;
    }
    node = next;
  }
walked:
  // root, controller, root hub, keyboard, gadget, hub, stick, stick's disk, DVD drive, its CD-ROM node,
  // storage controller, C:'s disk
  ASSERT_EQ(12u, ids.size());
  EXPECT_EQ(0u, ids[9].find(u"USBSTOR\\CDROM&"));
  EXPECT_EQ(u"HTREE\\ROOT\\0", ids[0]);
  EXPECT_EQ(0u, ids[6].find(u"USB\\VID_0951&PID_1666\\"));
  EXPECT_EQ(0u, ids[7].find(u"USBSTOR\\DISK&VEN_King&PROD_Stick"));

  DEVINST stick = 0;
  ASSERT_EQ(CR_SUCCESS, os::CM_Locate_DevNodeW(&stick, text_lower(ids[6]).c_str(), 0)) << "ids compare without case";
  ULONG type = 0, length = 0;
  EXPECT_EQ(CR_BUFFER_SMALL, os::CM_Get_DevNode_Registry_PropertyW(stick, CM_DRP_CLASS, &type, nullptr, &length, 0));
  EXPECT_EQ(8u, length);  // "USB" and its NUL
  char16_t text[8];
  EXPECT_EQ(CR_SUCCESS, os::CM_Get_DevNode_Registry_PropertyW(stick, CM_DRP_CLASS, &type, text, &length, 0));
  EXPECT_EQ(REG_SZ, type);
  EXPECT_EQ(std::u16string(u"USB"), text);
  GUID bus{};
  length = sizeof bus;
  EXPECT_EQ(CR_SUCCESS, os::CM_Get_DevNode_Registry_PropertyW(stick, CM_DRP_BUSTYPEGUID, &type, &bus, &length, 0));
  EXPECT_EQ(0x9d7debbcu, bus.Data1);

  DEVINST gadget = 0;
  ASSERT_EQ(CR_SUCCESS, os::CM_Locate_DevNodeW(&gadget, ids[4].c_str(), 0));
  EXPECT_EQ(u"USB\\VID_1234&PID_5678\\SN1", ids[4]);
  for (ULONG missing : {CM_DRP_FRIENDLYNAME, CM_DRP_LOCATION_INFORMATION}) {
    length = 0;
    EXPECT_EQ(CR_NO_SUCH_VALUE, os::CM_Get_DevNode_Registry_PropertyW(gadget, missing, &type, nullptr, &length, 0));
  }
  EXPECT_EQ(CR_INVALID_DEVNODE, os::CM_Get_Parent(&node, 99999, 0));
  EXPECT_EQ(CR_NO_SUCH_DEVNODE, os::CM_Get_Parent(&node, root, 0));
  EXPECT_EQ(CR_INVALID_PROPERTY, os::CM_Get_DevNode_Registry_PropertyW(stick, 0, &type, nullptr, &length, 0));
}

TEST_F(UsbSim, DiskInterfacesLeadToVolumesAndTheirDevices) {
  os::unique_hdevinfo set(os::SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  ASSERT_TRUE(set);
  std::vector<std::pair<std::u16string, DEVINST>> disks;
  for (DWORD i = 0;; ++i) {
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof iface;
    if (!os::SetupDiEnumDeviceInfo(set.get(), i, &info) ||
        !os::SetupDiEnumDeviceInterfaces(set.get(), nullptr, &GUID_DEVINTERFACE_DISK, i, &iface)) {
      EXPECT_EQ(ERROR_NO_MORE_ITEMS, os::GetLastError());
      break;
    }
    DWORD required = 0;
    EXPECT_FALSE(os::SetupDiGetDeviceInterfaceDetailW(set.get(), &iface, nullptr, 0, &required, nullptr));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, os::GetLastError());
    std::vector<std::uint8_t> buffer(required);
    auto* detail = reinterpret_cast<os::SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = 8;
    ASSERT_TRUE(os::SetupDiGetDeviceInterfaceDetailW(set.get(), &iface, detail, required, nullptr, nullptr));
    disks.emplace_back(detail->DevicePath, info.DevInst);
  }
  ASSERT_EQ(2u, disks.size());
  // The stick's disk: its interface path opens, its number is that of volume E:, its parent the stick.
  const auto& [path, devinst] = disks[1];
  EXPECT_EQ(0u, path.find(u"\\\\?\\usbstor#disk&ven_king&prod_stick"));
  auto disk = open(path);
  auto volume = open(u"\\\\.\\E:");
  ASSERT_TRUE(disk);
  ASSERT_TRUE(volume);
  STORAGE_DEVICE_NUMBER of_disk{}, of_volume{};
  DWORD returned = 0;
  ASSERT_TRUE(os::DeviceIoControl(disk.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &of_disk, 12, &returned, nullptr));
  ASSERT_TRUE(os::DeviceIoControl(volume.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &of_volume, 12, &returned, nullptr));
  EXPECT_EQ(of_disk.DeviceNumber, of_volume.DeviceNumber);
  EXPECT_EQ(FILE_DEVICE_DISK, of_volume.DeviceType);
  EXPECT_EQ(1u, of_volume.PartitionNumber);
  DEVINST parent = 0;
  ASSERT_EQ(CR_SUCCESS, os::CM_Get_Parent(&parent, devinst, 0));
  ULONG size = 0;
  ASSERT_EQ(CR_SUCCESS, os::CM_Get_Device_ID_Size(&size, parent, 0));
  std::u16string id(size + 1, u'\0');
  ASSERT_EQ(CR_SUCCESS, os::CM_Get_Device_IDW(parent, id.data(), size + 1, 0));
  EXPECT_EQ(0u, id.find(u"USB\\VID_0951&PID_1666"));

  HDEVINFO raw = set.release();
  EXPECT_TRUE(os::SetupDiDestroyDeviceInfoList(raw));
  EXPECT_FALSE(os::SetupDiDestroyDeviceInfoList(raw));
  EXPECT_EQ(ERROR_INVALID_HANDLE, os::GetLastError());
}

TEST_F(UsbSim, DriveTypesAndVolumeLocks) {
  struct Case {
    const char16_t* root;
    UINT type;
  } const cases[] = {{u"C:\\", DRIVE_FIXED}, {u"E:\\", DRIVE_REMOVABLE}, {u"e:", DRIVE_REMOVABLE}, {u"R:\\", DRIVE_CDROM},
                     {u"Q:\\", DRIVE_NO_ROOT_DIR}, {u"E:\\x", DRIVE_NO_ROOT_DIR}, {u"", DRIVE_NO_ROOT_DIR}};
  for (const Case& c : cases) EXPECT_EQ(c.type, os::GetDriveTypeW(c.root)) << std::string(c.root, c.root + std::char_traits<char16_t>::length(c.root));
  const DWORD drives = os::GetLogicalDrives();
  EXPECT_TRUE(drives & (1u << ('E' - 'A')));
  EXPECT_TRUE(drives & (1u << ('R' - 'A')));
  {
    auto dvd = open(u"\\\\.\\R:");
    STORAGE_DEVICE_NUMBER number{};
    DWORD returned = 0;
    ASSERT_TRUE(os::DeviceIoControl(dvd.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, 12, &returned, nullptr));
    EXPECT_EQ(FILE_DEVICE_CD_ROM, number.DeviceType);
    EXPECT_EQ(0u, number.DeviceNumber) << "CD-ROMs are numbered apart from disks";
    EXPECT_FALSE(os::DeviceIoControl(dvd.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, 11, &returned, nullptr));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, os::GetLastError());
  }
  EXPECT_FALSE(drives & (1u << ('Q' - 'A')));
  // Two refusals are stored in the machine file: they hold across handles, then the lock succeeds.
  for (int attempt = 0; attempt < 3; ++attempt) {
    auto volume = open(u"\\\\.\\E:");
    DWORD returned = 0;
    const BOOL locked = os::DeviceIoControl(volume.get(), FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr);
    EXPECT_EQ(attempt == 2, locked != FALSE) << "attempt " << attempt;
    if (!locked) {
      EXPECT_EQ(ERROR_ACCESS_DENIED, os::GetLastError());
    }
  }
}

namespace {

BOOL volume_control(HANDLE volume, DWORD code) {
  DWORD returned = 0;
  PREVENT_MEDIA_REMOVAL allow{FALSE};
  const bool with_input = code == IOCTL_STORAGE_MEDIA_REMOVAL;
  return os::DeviceIoControl(volume, code, with_input ? &allow : nullptr, with_input ? sizeof allow : 0, nullptr, 0,
                             &returned, nullptr);
}

const usb::Volume* stored_volume(const usb::Machine& machine, char letter) {
  const usb::Volume* found = nullptr;
  usb::for_each_device(machine, [&](const usb::Device& device, const usb::PortPath&) {
    for (const usb::Disk& disk : device.disks)
      for (const usb::Volume& v : disk.volumes)
        if (v.letter == letter) found = &v;
  });
  return found;
}

}  // namespace

// A volume's requests against the rights its handle was opened with: lock and dismount need
// reading or writing, media removal and eject need reading.
TEST_F(UsbSim, VolumeRequestsNeedTheRightsTheirHandleWasOpenedWith) {
  load(R"({"controllers": [{"index": 0, "devices": {"1": {"vendor_id": 1, "product_id": 1, "interfaces": [{"class": 8}],
           "volumes": [{"letter": "E"}]}}}]})");
  struct Case {
    DWORD access;
    DWORD code;
    bool allowed;
  } const cases[] = {
      {0, FSCTL_LOCK_VOLUME, false},                  {GENERIC_READ, FSCTL_LOCK_VOLUME, true},
      {GENERIC_WRITE, FSCTL_DISMOUNT_VOLUME, true},   {0, FSCTL_DISMOUNT_VOLUME, false},
      {GENERIC_WRITE, IOCTL_STORAGE_MEDIA_REMOVAL, false}, {GENERIC_READ, IOCTL_STORAGE_MEDIA_REMOVAL, true},
      {GENERIC_WRITE, IOCTL_STORAGE_EJECT_MEDIA, false},   {0, IOCTL_STORAGE_EJECT_MEDIA, false},
      {0, IOCTL_STORAGE_GET_DEVICE_NUMBER, true},
  };
  for (const Case& c : cases) {
    os::unique_hfile volume(os::CreateFileW(u"\\\\.\\E:", c.access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(volume);
    STORAGE_DEVICE_NUMBER number{};
    DWORD returned = 0;
    const BOOL done = c.code == IOCTL_STORAGE_GET_DEVICE_NUMBER
                          ? os::DeviceIoControl(volume.get(), c.code, nullptr, 0, &number, sizeof number, &returned, nullptr)
                          : volume_control(volume.get(), c.code);
    EXPECT_EQ(c.allowed, done != FALSE) << std::hex << "access 0x" << c.access << " code 0x" << c.code;
    if (!c.allowed) {
      EXPECT_EQ(ERROR_ACCESS_DENIED, os::GetLastError());
    }
  }
  EXPECT_EQ(DRIVE_REMOVABLE, os::GetDriveTypeW(u"E:\\")) << "no refused eject took the volume away";
}

TEST_F(UsbSim, AnEjectedVolumeLosesItsLetterAndTheMachineFileRecordsIt) {
  load(R"({"controllers": [{"index": 0, "devices": {
           "1": {"vendor_id": 1, "product_id": 1, "interfaces": [{"class": 8}], "volumes": [{"letter": "E"}, {"letter": "F"}]},
           "2": {"vendor_id": 1, "product_id": 2, "interfaces": [{"class": 8}], "volumes": [{"letter": "G"}]}}}]})");
  os::unique_hfile volume(os::CreateFileW(u"\\\\.\\E:", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(volume);
  EXPECT_FALSE(volume_control(volume.get(), FSCTL_UNLOCK_VOLUME));
  EXPECT_EQ(ERROR_NOT_LOCKED, os::GetLastError());
  for (DWORD code : {FSCTL_LOCK_VOLUME, FSCTL_DISMOUNT_VOLUME, IOCTL_STORAGE_MEDIA_REMOVAL, IOCTL_STORAGE_EJECT_MEDIA})
    ASSERT_TRUE(volume_control(volume.get(), code)) << std::hex << code;
  // The disk's media went: both of its volumes; the other device's stays.
  EXPECT_EQ(DRIVE_NO_ROOT_DIR, os::GetDriveTypeW(u"E:\\"));
  EXPECT_EQ(DRIVE_NO_ROOT_DIR, os::GetDriveTypeW(u"F:\\"));
  EXPECT_EQ(DRIVE_REMOVABLE, os::GetDriveTypeW(u"G:\\"));
  EXPECT_FALSE(os::GetLogicalDrives() & (1u << ('E' - 'A')));
  EXPECT_FALSE(volume_control(volume.get(), FSCTL_DISMOUNT_VOLUME));
  EXPECT_EQ(ERROR_DEVICE_NOT_CONNECTED, os::GetLastError());
  EXPECT_FALSE(os::unique_hfile(os::CreateFileW(u"\\\\.\\E:", GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr)));

  const usb::Machine stored = usb::read_machine(testing_support::read_native_file(usb::machine_file_path()), native_dir());
  for (char letter : {'E', 'F', 'G'}) {
    const usb::Volume* v = stored_volume(stored, letter);
    ASSERT_NE(nullptr, v) << letter << ": the stored machine keeps the volume";
    EXPECT_EQ(letter != 'G', v->ejected) << letter;
  }
}

TEST_F(UsbSim, DismountAndEjectFailuresFromTheFixture) {
  load(R"({"controllers": [{"index": 0, "devices": {
           "1": {"vendor_id": 1, "product_id": 1, "interfaces": [{"class": 8}], "volumes": [{"letter": "E", "dismount_error": 5}]},
           "2": {"vendor_id": 1, "product_id": 2, "interfaces": [{"class": 8}], "volumes": [{"letter": "F", "eject_error": 21}]}}}]})");
  struct Case {
    const char16_t* name;
    DWORD code;
    DWORD error;
  } const cases[] = {{u"\\\\.\\E:", FSCTL_DISMOUNT_VOLUME, 5}, {u"\\\\.\\F:", IOCTL_STORAGE_EJECT_MEDIA, 21}};
  for (const Case& c : cases) {
    os::unique_hfile volume(os::CreateFileW(c.name, GENERIC_READ | GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(volume);
    EXPECT_FALSE(volume_control(volume.get(), c.code));
    EXPECT_EQ(c.error, os::GetLastError());
  }
  EXPECT_EQ(DRIVE_REMOVABLE, os::GetDriveTypeW(u"F:\\")) << "a failed eject leaves the volume mounted";
}

TEST_F(UsbSim, BadFixturesAreRefusedWithTheirPlace) {
  struct Case {
    const char* text;
    const char* message;
  } const cases[] = {
      {"{", "not valid JSON"},
      {R"({"controllers": [{"ports": 2}]})", "needs an \"index\""},
      {R"({"controllers": [{"index": 0}, {"index": 0}]})", "HCD0 given twice"},
      {R"({"controllers": [{"index": 0, "ports": 2, "devices": {"3": {"vendor_id": 1, "product_id": 1}}}]})", "no such port"},
      {R"({"controllers": [{"index": 0, "devices": {"1": {"vendor_id": 1}}}]})", "\"vendor_id\" and \"product_id\""},
      {R"({"controllers": [{"index": 0, "devices": {"1": {"descriptors": {"device": "12 0"}}}}]})", "odd number of hex digits"},
      {R"({"controllers": [{"index": 0, "devices": {"1": {"descriptors": {"device": "zz"}}}}]})", "not a hex digit"},
      {R"({"controllers": [{"index": 0, "devices": {"1": {"vendor_id": 1, "product_id": 1, "colour": 2}}}]})", "unknown member \"colour\""},
      {R"({"controllers": [{"index": 0, "devices": {"1": {"vendor_id": 1, "product_id": 1, "volumes": [{"letter": "E"}]},
                                                     "2": {"vendor_id": 1, "product_id": 2, "volumes": [{"letter": "e"}]}}}]})", "drive letter E: is given twice"},
      {R"({"controllers": [{"index": 0, "devices": {"1": {"vendor_id": 1, "product_id": 1, "faults": {"missing_properties": ["Colour"]}}}}]})", "unknown property"},
      {R"({"controllers": [{"index": 0, "devices": {"1": {"vendor_id": 1, "product_id": 1, "faults": {"odd_length_strings": [{"index": 1}]}}}}]})", "no string descriptor 1"},
      {R"({"controllers": [{"index": 0, "devices": {"1": {"file": "missing.json"}}}]})", "cannot read the file"},
      {R"({"controllers": [{"index": 0, "devices": {"1": {"descriptors": {"sysfs": "12 01 10 01 00 00 00 08 2c 1a 2d 00 10 01 01 00 00 01 09 02 22 00"}}}}]})",
       "wTotalLength runs past the end"},
      {R"({"controllers": [{"index": 0, "devices": {"1": {"vendor_id": 1, "product_id": 1, "properties": {"UINumber": "x"}}}}]})", "not a number"},
  };
  for (const Case& c : cases) {
    try {
      usb::read_machine(c.text, native_dir());
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const usb::FixtureError& e) {
      EXPECT_NE(std::string::npos, std::string(e.what()).find(c.message)) << e.what();
    }
  }
}

TEST_F(UsbSim, MachineFileReadsBackUnchanged) {
  const std::string first = usb::write_machine(usb::read_machine(kMachine, native_dir()));
  const std::string again = usb::write_machine(usb::read_machine(first, native_dir()));
  EXPECT_EQ(first, again);
}

class UsbSimCli : public UsbSim {
 protected:
  testing_support::CommandResult sim(const std::vector<std::string>& args) {
    return testing_support::run_built("vostusb-sim", args, native_dir());
  }
  std::string fixture(const std::string& name, const std::string& text) {
    const std::string path = native_dir() + "/" + name;
    testing_support::write_native_file(path, text);
    return path;
  }
};

TEST_F(UsbSimCli, PlugAndUnplugChangeWhatThePlatformSees) {
  const std::string stick = fixture("stick.json", R"({"vendor_id": "0xABCD", "product_id": 1, "interfaces": [{"class": 8}],
                                                      "volumes": [{"letter": "J"}]})");
  const auto plugged = sim({"plug", "3-4.4", stick});
  ASSERT_EQ(0, plugged.status) << plugged.err;
  EXPECT_EQ(DRIVE_REMOVABLE, os::GetDriveTypeW(u"J:\\"));
  auto hub = open(u"\\\\.\\" + root_hub_name());
  {
    auto external = open(u"\\\\.\\" + name_query(hub.get(), IOCTL_USB_GET_NODE_CONNECTION_NAME, 8, 4));
    const Connection c = connection(external.get(), 4, 3);
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(0xABCD, +c.info.DeviceDescriptor.idVendor);
  }
  const std::string before = usb::write_machine(usb::current_machine()->machine);
  struct Refusal {
    std::vector<std::string> args;
    int status;
    const char* message;
  } const refusals[] = {
      {{"plug", "3-4.4", stick}, 2, "the port is in use"},
      {{"plug", "3-3.1", stick}, 2, "no hub at port"},
      {{"plug", "3-9", stick}, 2, "the hub has 4 ports"},
      {{"plug", "1-1", stick}, 2, "no controller 1"},
      {{"plug", "3-3", fixture("bad.json", R"({"vendor_id": 1})")}, 2, "\"product_id\""},
      {{"plug", "3-3", fixture("taken.json", R"({"vendor_id": 1, "product_id": 1, "volumes": [{"letter": "C"}]})")}, 2,
       "drive letter C: is given twice"},
      {{"plug", "3-x", stick}, 2, "not a port"},
      {{"unplug", "3-3"}, 1, "no device at 3-3"},
      {{"machine", "load", fixture("badmachine.json", R"({"controllers": 3})")}, 2, "expected an array"},
  };
  for (const Refusal& r : refusals) {
    const auto result = sim(r.args);
    EXPECT_EQ(r.status, result.status) << r.args[0] << " " << r.args[1];
    EXPECT_NE(std::string::npos, result.err.find(r.message)) << result.err;
  }
  EXPECT_EQ(before, usb::write_machine(usb::current_machine()->machine)) << "a refused change changes nothing";

  // Unplugging the hub takes the stick and the volume behind it away.
  ASSERT_EQ(0, sim({"unplug", "3-4"}).status);
  EXPECT_EQ(DRIVE_NO_ROOT_DIR, os::GetDriveTypeW(u"J:\\"));
  EXPECT_EQ(DRIVE_NO_ROOT_DIR, os::GetDriveTypeW(u"E:\\"));
  EXPECT_EQ(NoDeviceConnected, +connection(hub.get(), 4, 3).info.ConnectionStatus) << "the open hub handle sees its machine";
  auto fresh = open(u"\\\\.\\" + root_hub_name());
  EXPECT_EQ(NoDeviceConnected, +connection(fresh.get(), 4, 3).info.ConnectionStatus);
}

TEST_F(UsbSimCli, LoadAndShow) {
  const auto loaded = sim({"machine", "load", std::string(VOSTUSB_FIXTURES) + "/machines/desktop.json"});
  ASSERT_EQ(0, loaded.status) << loaded.err;
  const auto shown = sim({"machine", "show"});
  ASSERT_EQ(0, shown.status);
  for (const char* part : {"controller 1: \\\\.\\HCD0", "controller 2: \\\\.\\HCD1", "1-1        1A2C:002D", "1-2        093A:2510",
                           "2-1        05E3:0610", "hub with 4 ports", "    2-1.4      (empty)", "machine disks: volumes C: fixed"})
    EXPECT_NE(std::string::npos, shown.out.find(part)) << part << "\n" << shown.out;
}

TEST_F(UsbSimCli, EveryRepositoryDevicePlugsIn) {
  ASSERT_EQ(0, sim({"machine", "load", std::string(VOSTUSB_FIXTURES) + "/machines/desktop.json"}).status);
  struct Case {
    const char* file;
    const char* port;
    const char* shown;
  } const cases[] = {
      {"keyboard.json", "1-3", "HIDClass"},          {"mouse.json", "1-4", "USB Input Device"},
      {"composite_hid.json", "1-5", "USB Composite Device"}, {"usb_stick.json", "1-6", "volumes E: removable"},
      {"card_reader.json", "1-7", "volumes F: removable, G: removable"}, {"usb_hard_disk.json", "1-8", "volumes H: fixed"},
      {"printer.json", "1-9", "USB Printing Support"}, {"network_adapter.json", "1-10", "Net"},
      {"phone_mtp.json", "2-2", "WPD"},              {"no_strings.json", "2-3", "USB Device"},
      {"hub.json", "2-4", "K: removable"},
  };
  for (const Case& c : cases) {
    const auto r = sim({"plug", c.port, std::string(VOSTUSB_FIXTURES) + "/devices/" + c.file});
    EXPECT_EQ(0, r.status) << c.file << ": " << r.err;
  }
  const auto shown = sim({"machine", "show"});
  for (const Case& c : cases) EXPECT_NE(std::string::npos, shown.out.find(c.shown)) << c.shown << "\n" << shown.out;
  // The nested hubs carry a second card reader: its letters are taken until the first one goes.
  const std::string nested = std::string(VOSTUSB_FIXTURES) + "/devices/nested_hubs.json";
  EXPECT_EQ(2, sim({"plug", "2-5", nested}).status);
  ASSERT_EQ(0, sim({"unplug", "1-7"}).status);
  ASSERT_EQ(0, sim({"plug", "2-5", nested}).status);
  const std::string tree = sim({"machine", "show"}).out;
  for (const char* part : {"      2-5.3.2    05E3:0749", "    2-5.3      05E3:0608", "    2-5.1      093A:2510"})
    EXPECT_NE(std::string::npos, tree.find(part)) << part << "\n" << tree;
}

TEST_F(UsbSimCli, FreshMachineHasTheDefaultDesktop) {
  std::filesystem::remove(usb::machine_file_path());
  auto hcd0 = open(u"\\\\.\\HCD0");
  auto hcd1 = open(u"\\\\.\\HCD1");
  EXPECT_TRUE(hcd0);
  EXPECT_TRUE(hcd1);
  EXPECT_FALSE(open(u"\\\\.\\HCD2"));
  EXPECT_EQ(DRIVE_FIXED, os::GetDriveTypeW(u"C:\\"));
}

}  // namespace

namespace {

// Threads asking the machine while it changes: every answer is one of the machine's two states.
TEST_F(UsbSim, QueriesWhileTheMachineChanges) {
  const std::u16string hub_name = root_hub_name();
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      auto hub = open(u"\\\\.\\" + hub_name);  // one handle per thread, and one shared below
      while (!stop) {
        const Connection c = connection(hub.get(), 3, 3);
        if (!c.ok || (c.info.ConnectionStatus != NoDeviceConnected && c.info.DeviceDescriptor.idVendor != 0x4321)) ++wrong;
        os::unique_hdevinfo set(os::SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
        if (!set) ++wrong;
        DEVINST root = 0, child = 0;
        if (os::CM_Locate_DevNodeW(&root, nullptr, 0) != CR_SUCCESS || os::CM_Get_Child(&child, root, 0) != CR_SUCCESS) ++wrong;
      }
    });
  }
  auto shared = open(u"\\\\.\\" + hub_name);
  std::thread sharer([&] {
    while (!stop)
      if (!connection(shared.get(), 1, 3).ok) ++wrong;
  });
  const std::string device = R"({"vendor_id": "0x4321", "product_id": 1})";
  for (int round = 0; round < 20; ++round) {
    ASSERT_EQ("", usb::change_machine([&](usb::Machine& m) {
      usb::PortPath path;
      usb::parse_port_path("3-3", path);
      if (!usb::unplug_device(m, path)) usb::plug_device(m, path, device, native_dir());
      return true;
    }));
  }
  stop = true;
  for (auto& r : readers) r.join();
  sharer.join();
  shared.reset();
  EXPECT_EQ(0, wrong.load());
}

}  // namespace

namespace {

TEST_F(UsbSim, LinuxDescriptorDumpsAndGivenProperties) {
  // The keyboard given as Linux keeps it (device descriptor and configuration in one dump) reads as
  // the same device as given in parts.
  const std::string parts = R"({"controllers": [{"index": 0, "devices": {"1": {"descriptors": {
      "device": "12 01 10 01 00 00 00 08 2c 1a 2d 00 10 01 01 00 00 01",
      "configurations": ["09 02 22 00 01 01 00 a0 32 09 04 00 00 01 03 01 01 00 09 21 10 01 00 01 22 41 00 07 05 81 03 08 00 0a"]}}}}]})";
  const std::string dump = R"({"controllers": [{"index": 0, "devices": {"1": {"descriptors": {"sysfs":
      "12 01 10 01 00 00 00 08 2c 1a 2d 00 10 01 01 00 00 01 09 02 22 00 01 01 00 a0 32 09 04 00 00 01 03 01 01 00 09 21 10 01 00 01 22 41 00 07 05 81 03 08 00 0a"}}}}]})";
  EXPECT_EQ(usb::write_machine(usb::read_machine(parts, native_dir())), usb::write_machine(usb::read_machine(dump, native_dir())));

  load(R"({"controllers": [{"index": 0, "devices": {"1": {"vendor_id": 1, "product_id": 2, "instance_id": "USB\\VID_0001&PID_0002\\X",
      "properties": {"FriendlyName": "Named", "CompatibleIDs": [], "UINumber": 7,
                     "BusTypeGuid": "{00000001-0002-0003-0405-060708090a0b}", "InstallState": {"type": 4, "hex": "01 02"}},
      "unset_properties": ["DeviceDescription"]}}}]})");
  DEVINST device = 0;
  ASSERT_EQ(CR_SUCCESS, os::CM_Locate_DevNodeW(&device, u"USB\\VID_0001&PID_0002\\X", 0));
  struct Case {
    ULONG code;
    CONFIGRET result;
    ULONG type;
    std::vector<std::uint8_t> bytes;
  } const cases[] = {
      {CM_DRP_FRIENDLYNAME, CR_SUCCESS, REG_SZ, hex("4e 00 61 00 6d 00 65 00 64 00 00 00")},
      {CM_DRP_COMPATIBLEIDS, CR_SUCCESS, REG_MULTI_SZ, hex("00 00")},
      {CM_DRP_UI_NUMBER, CR_SUCCESS, REG_DWORD, hex("07 00 00 00")},
      {CM_DRP_BUSTYPEGUID, CR_SUCCESS, REG_BINARY, hex("01 00 00 00 02 00 03 00 04 05 06 07 08 09 0a 0b")},
      {CM_DRP_INSTALL_STATE, CR_SUCCESS, REG_DWORD, hex("01 02")},
      {CM_DRP_DEVICEDESC, CR_NO_SUCH_VALUE, 0, {}},
      {CM_DRP_BUSNUMBER, CR_NO_SUCH_VALUE, 0, {}},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> buffer(64);
    ULONG type = 0, length = 64;
    EXPECT_EQ(c.result, os::CM_Get_DevNode_Registry_PropertyW(device, c.code, &type, buffer.data(), &length, 0)) << c.code;
    if (c.result != CR_SUCCESS) continue;
    EXPECT_EQ(c.type, type) << c.code;
    buffer.resize(length);
    EXPECT_EQ(c.bytes, buffer) << c.code;
  }
}

}  // namespace
