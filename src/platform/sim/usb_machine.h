// The simulated machine's USB hardware: host controllers with their root hubs, hubs, devices with
// the raw bytes of their descriptors, storage devices with their disks and volumes, and the Plug
// and Play device node of each. Held in <sim root>/machine/usb.json (written in the fixture format
// of docs/sim-usb-fixtures.md, every value explicit); a machine without that file has the default
// machine (sim/fixtures/machines/desktop.json, built in).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/os.h"

namespace os::sim::usb {

using Bytes = std::vector<std::uint8_t>;

// A device registry property (CM_DRP_*): its registry type and bytes.
struct Property {
  DWORD type = REG_NONE;
  Bytes data;
};

// A node of the Plug and Play device tree.
struct DevNode {
  DEVINST devinst = 0;
  std::u16string instance_id;
  std::map<ULONG, Property> properties;
  std::set<ULONG> unset;  // properties that a fault keeps unset (never given defaults)
};

struct Volume {
  char letter = 0;  // 'A'..'Z'
  UINT drive_type = DRIVE_REMOVABLE;
  int lock_failures = 0;            // FSCTL_LOCK_VOLUME fails (ERROR_ACCESS_DENIED) this many more times
  DWORD dismount_error = ERROR_SUCCESS;  // FSCTL_DISMOUNT_VOLUME fails with it
  DWORD eject_error = ERROR_SUCCESS;     // IOCTL_STORAGE_EJECT_MEDIA fails with it
  bool ejected = false;  // its media was ejected: the letter is gone until the machine is loaded again
};

// A disk (or CD-ROM) and its volumes; its node is a child of the device that carries it.
struct Disk {
  DevNode node;
  DEVICE_TYPE device_type = FILE_DEVICE_DISK;
  ULONG device_number = 0;
  std::vector<Volume> volumes;
  std::u16string interface_path() const;  // "\\?\usbstor#disk&...#{53f56307-...}"
};

// What a device does wrong on request.
struct Faults {
  ULONG connection_status = DeviceConnected;         // reported for its port
  std::set<std::pair<WORD, BYTE>> string_errors;     // (language, index) requests that fail
  std::set<BYTE> configuration_errors;               // configuration indexes that cannot be read
  DWORD driver_key_error = ERROR_SUCCESS;            // IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME fails with it
  DWORD open_error = ERROR_SUCCESS;                  // CreateFileW on its hub name fails with it
};

// What the machine's filter driver made of a device: "admitted", "blocked", or "waiting" for its
// verdict, and where the verdict came from (the driver's reasons, "present" for a device that was
// there when the machine was loaded, "hub blocked" for one behind a blocked hub). A device that is
// not admitted stays connected, but its disks and volumes do not appear.
struct Admission {
  std::string state = "admitted";
  std::string by = "present";
  bool usable() const { return state == "admitted"; }
};

// The request text a device fixture gives in place of the device's document, for tests of bad
// input: a text of its own (repeated `repeat` times), without its terminating NUL, with another
// size in the request's header, or a void request.
struct RequestFixture {
  bool given = false;
  std::string text;  // UTF-8
  std::size_t repeat = 1;
  bool nul = true;
  long long size = -1;  // -1: the size of the text
  bool is_void = false;
};

struct Device;

// A hub's downstream ports, 1-based; a null device is an empty port.
struct Hub {
  std::u16string name;  // opened as "\\.\" + name
  bool bus_powered = false;
  std::vector<std::unique_ptr<Device>> ports;
};

struct Device {
  Bytes device_descriptor;                              // as the device returns it (normally 18 bytes)
  std::vector<Bytes> configurations;                    // each with all its descriptors
  std::map<std::pair<WORD, BYTE>, Bytes> strings;       // (language, index) -> descriptor; (0, 0) the language list
  UCHAR speed = UsbFullSpeed;
  USHORT address = 0;
  UCHAR current_configuration = 1;
  DevNode node;
  std::unique_ptr<Hub> hub;                             // set for a hub
  std::vector<Disk> disks;
  Faults faults;
  Admission admission;
  RequestFixture request;

  // The open pipes: the endpoints of the current configuration's interfaces (first alternate
  // setting of each).
  std::vector<USB_PIPE_INFO> pipes() const;
};

struct Controller {
  int index = 0;  // "\\.\HCD<index>"
  DevNode node;
  DevNode root_hub_node;
  Hub root_hub;
};

struct Machine {
  DevNode root;
  std::vector<Controller> controllers;  // in index order
  DevNode storage_controller;           // parent of the machine's own disks
  std::vector<Disk> disks;              // the machine's own (non-USB) disks
};

// A port path: controller number (HCD index + 1), root port, hub ports ("1-2.4").
struct PortPath {
  int controller = 0;
  std::vector<int> ports;
  std::string text() const;
};
bool parse_port_path(const std::string& text, PortPath& path);

// The device at `path`, or null when the port is empty or does not exist.
Device* device_at(Machine& machine, const PortPath& path);
const Device* device_at(const Machine& machine, const PortPath& path);

// Visits every device depth first (ports ascending), with its path.
void for_each_device(const Machine& machine, const std::function<void(const Device&, const PortPath&)>& visit);

}  // namespace os::sim::usb
