// The device list of a large simulated machine against the bare cost of its platform calls.
//
// The machine: 4 host controllers and hubs of 10 ports each on their root ports, one hub per 10
// devices, every hub port taken by a device of the repository's fixtures (keyboards, mice, HID
// composites, printers, network adapters, phones, devices without strings); at 50, 100 and 200
// devices (the largest with 20 hubs), with a complexity fit: the cost must grow linearly with the
// devices.
//
// BM_DeviceListText is GetCurrentUSBDevicesJSONListText, the list as the library hands it on.
// BM_BareCalls is the reference: a loop making the same CreateFileW, DeviceIoControl, CM_ and
// SetupDi calls in the same order, reading from the answers only what decides the next call, and
// building no records and no documents. Both count their platform calls (os_call_counts.h); the
// list's benchmark fails when the reference asks the platform anything else, so the two always
// measure the same work below the library. On a shared machine run it with
// --benchmark_enable_random_interleaving=true, so that both meet the same load.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "library/usb/device_list.h"
#include "os_call_counts.h"
#include "own_machine.h"
#include "platform/handle.h"
#include "platform/os.h"
#include "platform/sim/usb_fixture.h"
#include "platform/sim/usb_store.h"
#include "text/chars.h"
#include "text/format.h"

namespace {

constexpr int kControllers = 4;
constexpr int kHubPorts = 10;
constexpr int kMaxHostItems = 100;

// The machine fixture with `devices` devices behind devices / 10 hubs, spread over the controllers.
std::string machine_fixture(int devices) {
  static const std::array<const char*, 7> kDeviceFiles = {"keyboard.json", "mouse.json", "composite_hid.json",
                                                          "printer.json", "network_adapter.json", "phone_mtp.json",
                                                          "no_strings.json"};
  const int hubs = devices / kHubPorts;
  std::vector<std::string> controller_devices(kControllers);
  int placed = 0;
  for (int hub = 0; hub < hubs; ++hub) {
    std::string ports;
    for (int port = 1; port <= kHubPorts; ++port, ++placed) {
      ports += (port > 1 ? ", \"" : "\"") + std::to_string(port) + "\": {\"file\": \"" +
               kDeviceFiles[placed % kDeviceFiles.size()] + "\"}";
    }
    std::string& on_controller = controller_devices[hub % kControllers];
    const int root_port = hub / kControllers + 1;
    on_controller += (on_controller.empty() ? "\"" : ", \"") + std::to_string(root_port) +
                     R"(": {"vendor_id": "0x05E3", "product_id": "0x0610", "class": 9, "manufacturer": "GenesysLogic",)"
                     R"( "product": "USB2.1 Hub", "hub": {"ports": )" +
                     std::to_string(kHubPorts) + ", \"devices\": {" + ports + "}}}";
  }
  std::string controllers;
  for (int c = 0; c < kControllers; ++c) {
    controllers += (c ? ", " : "") + std::string(R"({"index": )") + std::to_string(c) + R"(, "ports": 8, "devices": {)" +
                   controller_devices[c] + "}}";
  }
  return R"({"controllers": [)" + controllers + "]}";
}

bool load_machine(benchmark::State& state, int devices) {
  namespace usb = os::sim::usb;
  try {
    const std::string error = usb::replace_machine(usb::read_machine(machine_fixture(devices), VOSTUSB_DEVICE_FIXTURES));
    if (error.empty()) return true;
    state.SkipWithError(("the machine cannot be stored: " + error).c_str());
  } catch (const usb::FixtureError& e) {
    state.SkipWithError((std::string("the generated machine is refused: ") + e.what()).c_str());
  }
  return false;
}

// --- The reference: the list's platform calls, bare --------------------------------------------

namespace bare {

constexpr DWORD kShareAll = 7;
constexpr std::size_t kConnectionInfoSize = 35;
constexpr std::size_t kPipeEntrySize = 11;
constexpr std::size_t kMostPipes = 255;
constexpr std::size_t kDescriptorRequestSize = 12;
constexpr std::size_t kConfigurationHeaderSize = 9;
constexpr int kMostHubTiers = 5;
constexpr DWORD kInsufficientBuffer = 122;
constexpr DWORD kMoreData = 234;
constexpr DWORD kNoMoreItems = 259;
// The properties a device document reads, in the order it reads them.
constexpr std::array<ULONG, 17> kDocumentProperties = {2, 22, 20, 9, 8, 3, 1, 10, 23, 13, 35, 21, 14, 12, 15, 32, 17};

using Buffer = std::vector<std::uint8_t>;
using DriverKeys = std::map<std::u16string, DEVINST>;

std::uint32_t dword_at(const Buffer& b, std::size_t at) {
  return at + 4 <= b.size() ? b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24) : 0;
}

void put_dword(Buffer& b, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::u16string text_at(const std::uint8_t* bytes, std::size_t size) {
  std::u16string text;
  for (std::size_t at = 0; at + 1 < size; at += 2) {
    const auto c = static_cast<char16_t>(bytes[at] | (bytes[at + 1] << 8));
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

os::unique_hfile open(const std::u16string& name) {
  return os::unique_hfile(os::CreateFileW(name.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
}

bool ask(HANDLE h, DWORD code, Buffer& b, bool send, DWORD& returned) {
  return os::DeviceIoControl(h, code, send ? b.data() : nullptr, send ? static_cast<DWORD>(b.size()) : 0, b.data(),
                             static_cast<DWORD>(b.size()), &returned, nullptr) != FALSE;
}

// A name in two steps: the short record tells the length, the second request brings the name.
std::u16string name_query(HANDLE h, DWORD code, int port, bool port_query) {
  const std::size_t header = port_query ? 8 : 4;
  Buffer b(header + 2, 0);
  if (port_query) put_dword(b, 0, static_cast<std::uint32_t>(port));
  DWORD returned = 0;
  if (!ask(h, code, b, port_query, returned)) return {};
  Buffer full(std::max<std::size_t>(dword_at(b, port_query ? 4 : 0), header + 2), 0);
  if (port_query) put_dword(full, 0, static_cast<std::uint32_t>(port));
  if (!ask(h, code, full, port_query, returned)) return {};
  return text_at(full.data() + header, full.size() - header);
}

bool driver_key(DEVINST node, std::u16string& name) {
  std::uint8_t b[200] = {};
  ULONG length = sizeof b;
  if (os::CM_Get_DevNode_Registry_PropertyW(node, CM_DRP_DRIVER, nullptr, b, &length, 0) != CR_SUCCESS) return false;
  name = text_at(b, std::min<std::size_t>(length, sizeof b));
  return true;
}

bool text_property(DEVINST node, ULONG property, std::u16string& value) {
  std::uint8_t b[402] = {};
  ULONG length = sizeof b;
  if (os::CM_Get_DevNode_Registry_PropertyW(node, property, nullptr, b, &length, 0) != CR_SUCCESS) return false;
  value = text_at(b, std::min<std::size_t>(length, sizeof b));
  return true;
}

// Size first, then the value.
Buffer property_bytes(DEVINST node, ULONG property) {
  ULONG size = 0;
  const CONFIGRET first = os::CM_Get_DevNode_Registry_PropertyW(node, property, nullptr, nullptr, &size, 0);
  if ((first != CR_SUCCESS && first != CR_BUFFER_SMALL) || size == 0) return {};
  Buffer value(size, 0);
  ULONG length = size;
  if (os::CM_Get_DevNode_Registry_PropertyW(node, property, nullptr, value.data(), &length, 0) != CR_SUCCESS) return {};
  value.resize(std::min<std::size_t>(length, size));
  return value;
}

std::u16string device_id(DEVINST node) {
  ULONG length = 0;
  if (os::CM_Get_Device_ID_Size(&length, node, 0) != CR_SUCCESS) return {};
  std::u16string id(length + 1, u'\0');
  if (os::CM_Get_Device_IDW(node, id.data(), length + 1, 0) != CR_SUCCESS) return {};
  return id.substr(0, id.find(u'\0'));
}

// Depth first from the root until `visit` says to stop.
template <typename Visit>
void walk_tree(Visit visit) {
  DEVINST node = 0;
  if (os::CM_Locate_DevNodeW(&node, nullptr, CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) return;
  for (;;) {
    if (visit(node)) return;
    DEVINST next = 0;
    if (os::CM_Get_Child(&next, node, 0) == CR_SUCCESS) {
      node = next;
      continue;
    }
    while (os::CM_Get_Sibling(&next, node, 0) != CR_SUCCESS) {
      DEVINST parent = 0;
      if (os::CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) return;
      node = parent;
    }
    node = next;
  }
}

bool device_number(const std::u16string& path) {
  const os::unique_hfile h = open(path);
  if (!h) return false;
  STORAGE_DEVICE_NUMBER sdn{};
  DWORD returned = 0;
  return os::DeviceIoControl(h.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &sdn, sizeof sdn, &returned,
                             nullptr) != FALSE;
}

void volumes() {
  for (char16_t c = u'A'; c <= u'Z'; ++c) device_number(text::format(u"\\\\.\\%c:", c));
  const os::unique_hdevinfo set(
      os::SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  if (!set) return;
  std::vector<std::pair<DEVINST, std::u16string>> disks;
  for (DWORD i = 0;; ++i) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    SP_DEVICE_INTERFACE_DATA interface{};
    interface.cbSize = sizeof interface;
    if (!os::SetupDiEnumDeviceInfo(set.get(), i, &device) ||
        !os::SetupDiEnumDeviceInterfaces(set.get(), nullptr, &GUID_DEVINTERFACE_DISK, i, &interface)) {
      break;
    }
    DWORD required = 0;
    os::SetupDiGetDeviceInterfaceDetailW(set.get(), &interface, nullptr, 0, &required, nullptr);
    if (os::GetLastError() != kInsufficientBuffer) break;
    Buffer b(std::max<DWORD>(required, 10), 0);
    auto* detail = reinterpret_cast<os::SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(b.data());
    detail->cbSize = 8;
    if (!os::SetupDiGetDeviceInterfaceDetailW(set.get(), &interface, detail, static_cast<DWORD>(b.size()), nullptr,
                                              nullptr)) {
      break;
    }
    disks.emplace_back(device.DevInst, text_at(b.data() + 4, b.size() - 4));
  }
  for (const auto& [node, path] : disks) {
    DEVINST parent = 0;
    if (os::CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) continue;
    if (property_bytes(parent, CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME).empty()) continue;
    device_number(path);
  }
}

// A string descriptor with the language fallback; true when one language gave a text.
bool string_descriptor(HANDLE hub, int port, std::uint8_t index) {
  if (index == 0) return false;
  for (const std::uint16_t language : {0x0409, 0x0000, 0x0001}) {
    Buffer b(kDescriptorRequestSize + 2 + 255, 0);
    put_dword(b, 0, static_cast<std::uint32_t>(port));
    b[4] = 0x80;
    b[5] = USB_REQUEST_GET_DESCRIPTOR;
    b[6] = index;
    b[7] = 3;
    b[8] = static_cast<std::uint8_t>(language);
    b[9] = static_cast<std::uint8_t>(language >> 8);
    b[10] = 1;
    b[11] = 1;
    b[12] = 255;
    b[13] = 3;
    DWORD returned = 0;
    const bool ok = ask(hub, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, b, true, returned);
    const std::size_t length = b[12];
    if (ok && returned >= 16 && b[13] == 3 && returned >= kDescriptorRequestSize + length && length % 2 == 0 &&
        !text_at(b.data() + 14, length - 2).empty()) {
      return true;
    }
  }
  return false;
}

struct Configuration {
  std::uint8_t iConfiguration = 0;
  std::vector<std::uint8_t> iInterfaces;
};

bool configuration(HANDLE hub, int port, int index, Configuration& found) {
  Buffer header(kDescriptorRequestSize + kConfigurationHeaderSize, 0);
  put_dword(header, 0, static_cast<std::uint32_t>(port));
  header[4] = 0x80;
  header[5] = USB_REQUEST_GET_DESCRIPTOR;
  header[6] = static_cast<std::uint8_t>(index);
  header[7] = 2;
  header[10] = kConfigurationHeaderSize;
  DWORD returned = 0;
  if (!ask(hub, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, header, true, returned)) return false;
  const std::size_t total = header[14] | (header[15] << 8);
  Buffer full(kDescriptorRequestSize + total, 0);
  std::copy_n(header.begin(), 10, full.begin());
  full[10] = static_cast<std::uint8_t>(total);
  full[11] = static_cast<std::uint8_t>(total >> 8);
  if (!ask(hub, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, full, true, returned)) return false;
  const std::size_t end = std::min<std::size_t>(returned, full.size());
  if (end < kDescriptorRequestSize + kConfigurationHeaderSize) {
    found.iConfiguration = header[kDescriptorRequestSize + 6];
    return true;
  }
  found.iConfiguration = full[kDescriptorRequestSize + 6];
  const std::size_t walk_end = std::min(end, kDescriptorRequestSize + std::max<std::size_t>(
                                                                         full[14] | (full[15] << 8), kConfigurationHeaderSize));
  for (std::size_t at = kDescriptorRequestSize + kConfigurationHeaderSize; walk_end - at >= 2;) {
    const std::size_t length = full[at];
    if (length < 2 || length > walk_end - at) break;
    if (full[at + 1] == 4) found.iInterfaces.push_back(length > 8 ? full[at + 8] : 0);
    at += length;
  }
  return true;
}

void configuration_strings(HANDLE hub, int port, const Configuration& c) {
  for (const std::uint8_t index : c.iInterfaces) string_descriptor(hub, port, index);
  string_descriptor(hub, port, c.iConfiguration);
}

struct Connection {
  bool connected = false;
  bool is_hub = false;
  DEVINST node = 0;
  std::u16string hub_name;
};

// What the connection record asks: the port, its configurations and strings, its names and node.
bool connection(HANDLE hub, const DriverKeys& keys, int port, Connection& out) {
  std::size_t pipes = 3;
  Buffer b;
  for (;;) {
    b.assign(kConnectionInfoSize + kPipeEntrySize * pipes, 0);
    put_dword(b, 0, static_cast<std::uint32_t>(port));
    DWORD returned = 0;
    const bool ok = ask(hub, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, b, true, returned);
    const DWORD code = ok ? 0 : os::GetLastError();
    const std::size_t reported = dword_at(b, 27);
    if ((ok || code == kInsufficientBuffer || code == kMoreData) && reported > pipes && reported <= kMostPipes) {
      pipes = reported;
      continue;
    }
    if (!ok) return false;
    break;
  }
  const std::uint8_t iManufacturer = b[18], iProduct = b[19], iSerial = b[20], configurations = b[21];
  const std::uint32_t status = dword_at(b, 31);
  std::vector<Configuration> read;
  for (int index = 0; index < configurations; ++index) {
    Configuration c;
    if (!configuration(hub, port, index, c)) break;
    configuration_strings(hub, port, c);
    read.push_back(std::move(c));
  }
  bool key_read = true;
  if (status != NoDeviceConnected) {
    const std::u16string key = name_query(hub, IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME, port, true);
    key_read = !key.empty();
    if (key_read) {
      if (const auto found = keys.find(key); found != keys.end()) {
        out.node = found->second;
        std::u16string scratch;
        text_property(out.node, CM_DRP_DEVICEDESC, scratch);
        device_id(out.node);
        text_property(out.node, CM_DRP_LOCATION_INFORMATION, scratch);
      }
      out.hub_name = name_query(hub, IOCTL_USB_GET_NODE_CONNECTION_NAME, port, true);
    }
  }
  for (const Configuration& c : read) configuration_strings(hub, port, c);
  const bool manufacturer = string_descriptor(hub, port, iManufacturer);
  string_descriptor(hub, port, iProduct);
  const bool serial = string_descriptor(hub, port, iSerial);
  // What the device names but does not give comes from its node.
  if (iSerial != 0 && !serial) device_id(out.node);
  std::u16string scratch;
  if (iManufacturer != 0 && !manufacturer) text_property(out.node, CM_DRP_MFG, scratch);
  out.connected = status == DeviceConnected;
  out.is_hub = b[24] != 0;
  return key_read;
}

void document(DEVINST node, int& documents) {
  for (const ULONG property : kDocumentProperties) property_bytes(node, property);
  property_bytes(node, CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME);
  ++documents;
}

bool hub_ports(HANDLE hub, USB_NODE_INFORMATION& info) {
  info = {};
  info.NodeType = UsbHub;
  DWORD returned = 0;
  return os::DeviceIoControl(hub, IOCTL_USB_GET_NODE_INFORMATION, &info, sizeof info, &info, sizeof info, &returned,
                             nullptr) != FALSE;
}

void ports(HANDLE hub, const DriverKeys& keys, int count, int tier, int& documents) {
  for (int port = 1; port <= count; ++port) {
    Connection c;
    if (!connection(hub, keys, port, c) || !c.connected) continue;
    if (!c.is_hub) {
      document(c.node, documents);
      continue;
    }
    if (tier + 1 > kMostHubTiers) continue;
    const os::unique_hfile below = open(u"\\\\.\\" + c.hub_name);
    USB_NODE_INFORMATION info;
    if (!below || !hub_ports(below.get(), info)) continue;
    document(c.node, documents);
    if (info.NodeType == UsbHub) ports(below.get(), keys, info.u.HubInformation.HubDescriptor.bNumberOfPorts, tier + 1,
                                       documents);
  }
}

// The whole list's calls; the number of devices that would have a document.
int walk() {
  DriverKeys keys;
  bool maps_built = false;
  int documents = 0;
  for (int index = 0; index < kMaxHostItems; ++index) {
    std::u16string root_hub;
    {
      const os::unique_hfile controller = open(text::format(u"\\\\.\\HCD%d", index));
      if (!controller) continue;
      if (!maps_built) {
        walk_tree([&keys](DEVINST node) {
          std::u16string key;
          if (driver_key(node, key)) keys[key] = node;
          return false;
        });
        volumes();
        maps_built = true;
      }
      const std::u16string key = name_query(controller.get(), IOCTL_GET_HCD_DRIVERKEY_NAME, 0, false);
      if (key.empty()) continue;
      DEVINST node = 0;
      walk_tree([&](DEVINST n) {
        std::u16string name;
        driver_key(n, name);
        if (!text::equals_nocase(name, key)) return false;
        node = n;
        return true;
      });
      std::u16string description;
      if (node == 0 || !text_property(node, CM_DRP_DEVICEDESC, description)) continue;
      root_hub = name_query(controller.get(), IOCTL_USB_GET_ROOT_HUB_NAME, 0, false);
    }
    if (root_hub.empty()) continue;
    const os::unique_hfile hub = open(u"\\\\.\\" + root_hub);
    USB_NODE_INFORMATION info;
    if (!hub || !hub_ports(hub.get(), info) || info.NodeType != UsbHub) continue;
    ports(hub.get(), keys, info.u.HubInformation.HubDescriptor.bNumberOfPorts, 0, documents);
  }
  return documents;
}

}  // namespace bare

void set_call_counters(benchmark::State& state, const OsCallCounts& calls) {
  state.counters["opens"] = static_cast<double>(calls.opens);
  state.counters["ioctls"] = static_cast<double>(calls.ioctls);
  state.counters["cm_calls"] = static_cast<double>(calls.cm_calls);
  state.counters["setup_calls"] = static_cast<double>(calls.setup_calls);
}

void BM_DeviceListText(benchmark::State& state) {
  if (!load_machine(state, static_cast<int>(state.range(0)))) return;
  std::u16string text, status;
  VostUsbWardenManager::JsonHolder list;
  const OsCallCounts before = os_call_counts();
  if (VostUsbWardenManager::GetCurrentUSBDevicesJSONList(kMaxHostItems, list, status) != 0) {
    state.SkipWithError("the device list failed");
    return;
  }
  const OsCallCounts list_calls = os_call_counts() - before;
  const OsCallCounts between = os_call_counts();
  const int bare_documents = bare::walk();
  const OsCallCounts bare_calls = os_call_counts() - between;
  if (!(list_calls == bare_calls) || bare_documents != static_cast<int>(list.Count())) {
    state.SkipWithError("the reference loop does not make the list's platform calls");
    return;
  }
  for (auto _ : state) {
    VostUsbWardenManager::GetCurrentUSBDevicesJSONListText(kMaxHostItems, text, status);
    benchmark::DoNotOptimize(text);
  }
  state.SetComplexityN(state.range(0));
  state.counters["documents"] = static_cast<double>(list.Count());
  state.counters["text_chars"] = static_cast<double>(text.size());
  set_call_counters(state, list_calls);
}
BENCHMARK(BM_DeviceListText)->Arg(50)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

void BM_BareCalls(benchmark::State& state) {
  if (!load_machine(state, static_cast<int>(state.range(0)))) return;
  const OsCallCounts before = os_call_counts();
  const int documents = bare::walk();
  set_call_counters(state, os_call_counts() - before);
  for (auto _ : state) benchmark::DoNotOptimize(bare::walk());
  state.SetComplexityN(state.range(0));
  state.counters["documents"] = documents;
}
BENCHMARK(BM_BareCalls)->Arg(50)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

}  // namespace

int main(int argc, char** argv) { return run_benchmarks_on_own_machine(argc, argv, "usb"); }
