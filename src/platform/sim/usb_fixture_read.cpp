// Reading USB fixtures into the machine model.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <initializer_list>
#include <sstream>

#include "platform/sim/usb_fixture_detail.h"
#include "text/utf.h"

namespace os::sim::usb {

using namespace detail;

namespace {

constexpr int kMaxDepth = 16;  // hubs below hubs: beyond USB's own limit, short of endless

void only_members(const json& object, std::initializer_list<const char*> allowed, const std::string& where) {
  if (!object.is_object()) fail(where, "expected an object");
  for (const auto& item : object.items()) {
    if (std::none_of(allowed.begin(), allowed.end(), [&](const char* a) { return item.key() == a; }))
      fail(where, "unknown member \"" + item.key() + "\"");
  }
}

json parse_text(const std::string& text, const std::string& where) {
  try {
    return json::parse(text);
  } catch (const json::parse_error& e) {
    fail(where, std::string("not valid JSON: ") + e.what());
  }
}

json parse_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail(path, "cannot read the file");
  std::stringstream content;
  content << in.rdbuf();
  return parse_text(content.str(), path);
}

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string joined(const std::string& folder, const std::string& path) {
  return !path.empty() && path[0] == '/' ? path : folder + "/" + path;
}

DWORD error_code(const json& value, const std::string& where) {
  if (value.is_boolean()) return value.get<bool>() ? ERROR_GEN_FAILURE : ERROR_SUCCESS;
  const DWORD code = parse_number(value, 0xFFFFFFFFu, where);
  if (code == ERROR_SUCCESS) fail(where, "an error code is not 0");
  return code;
}

void read_node(const json& j, DevNode& node, const std::string& where) {
  if (j.contains("devinst")) node.devinst = parse_number(j["devinst"], 0xFFFFFF, where + ".devinst");
  if (j.contains("instance_id")) {
    if (!j["instance_id"].is_string() || j["instance_id"].get_ref<const std::string&>().empty())
      fail(where + ".instance_id", "expected a non-empty string");
    node.instance_id = text::from_utf8(j["instance_id"].get<std::string>());
  }
  if (j.contains("properties")) {
    const json& props = j["properties"];
    if (!props.is_object()) fail(where + ".properties", "expected an object");
    for (const auto& [name, value] : props.items()) {
      const std::string at = where + ".properties." + name;
      const PropertyName* known = property_by_name(name);
      ULONG code = known ? known->code : 0;
      if (!known) {
        if (name.rfind("0x", 0) != 0 || !value.is_object()) fail(at, "unknown property (others are given as \"0xNN\": {\"type\", \"hex\"})");
        code = parse_number(json(name), CM_DRP_MAX, at);
        if (code == 0) fail(at, "property codes start at 1");
      }
      node.properties[code] = make_property(known ? known->shape : PropertyShape::text, value, at);
    }
  }
  if (j.contains("unset_properties")) {
    if (!j["unset_properties"].is_array()) fail(where + ".unset_properties", "expected an array of property names");
    for (const json& name : j["unset_properties"]) {
      const PropertyName* known = name.is_string() ? property_by_name(name.get<std::string>()) : nullptr;
      if (!known) fail(where + ".unset_properties", "unknown property " + name.dump());
      node.unset.insert(known->code);
      node.properties.erase(known->code);
    }
  }
}

std::pair<WORD, BYTE> string_key(const json& j, const std::string& where) {
  only_members(j, {"index", "language"}, where);
  if (!j.contains("index")) fail(where, "needs an \"index\"");
  return {static_cast<WORD>(parse_number(j.value("language", json("0x0409")), 0xFFFF, where + ".language")),
          static_cast<BYTE>(parse_number(j["index"], 0xFF, where + ".index"))};
}

UINT drive_type(const json& value, const std::string& where) {
  const std::string t = value.is_string() ? value.get<std::string>() : "";
  if (t == "removable") return DRIVE_REMOVABLE;
  if (t == "fixed") return DRIVE_FIXED;
  if (t == "cdrom") return DRIVE_CDROM;
  fail(where, "expected removable, fixed or cdrom");
}

Disk read_disk(const json& j, const std::string& where) {
  only_members(j, {"device_type", "device_number", "vendor", "product", "revision", "serial", "volumes", "devinst",
                   "instance_id", "properties", "unset_properties"},
               where);
  Disk disk;
  read_node(j, disk.node, where);
  if (j.contains("device_type")) {
    const std::string t = j["device_type"].is_string() ? j["device_type"].get<std::string>() : "";
    if (t != "disk" && t != "cdrom") fail(where + ".device_type", "expected disk or cdrom");
    disk.device_type = t == "disk" ? FILE_DEVICE_DISK : FILE_DEVICE_CD_ROM;
  }
  disk.device_number = j.contains("device_number") ? parse_number(j["device_number"], 999, where + ".device_number") : ~0u;
  if (disk.node.instance_id.empty()) {  // USBSTOR\DISK&VEN_x&PROD_y&REV_z\serial&0 from the parts given
    auto part = [&](const char* name, const char* fallback) {
      std::string value = j.contains(name) && j[name].is_string() ? j[name].get<std::string>() : fallback;
      for (char& c : value)
        if (c == ' ') c = '_';
      return value;
    };
    const std::string kind = disk.device_type == FILE_DEVICE_DISK ? "DISK" : "CDROM";
    disk.node.instance_id = text::from_utf8("USBSTOR\\" + kind + "&VEN_" + part("vendor", "Generic") + "&PROD_" +
                                            part("product", "Flash_Disk") + "&REV_" + part("revision", "1.00") + "\\" +
                                            part("serial", "") + (j.contains("serial") ? "&0" : ""));
  }
  const json volumes = j.value("volumes", json::array());
  if (!volumes.is_array()) fail(where + ".volumes", "expected an array");
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    const std::string at = where + ".volumes[" + std::to_string(i) + "]";
    only_members(volumes[i], {"letter", "type", "lock_failures", "dismount_error", "eject_error", "ejected"}, at);
    Volume v;
    const std::string letter = volumes[i].value("letter", std::string());
    if (letter.size() != 1 || std::toupper(static_cast<unsigned char>(letter[0])) < 'A' ||
        std::toupper(static_cast<unsigned char>(letter[0])) > 'Z')
      fail(at + ".letter", "expected one drive letter A to Z");
    v.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter[0])));
    v.drive_type = volumes[i].contains("type") ? drive_type(volumes[i]["type"], at + ".type")
                   : disk.device_type == FILE_DEVICE_CD_ROM ? DRIVE_CDROM
                                                            : DRIVE_REMOVABLE;
    v.lock_failures = static_cast<int>(volumes[i].contains("lock_failures")
                                           ? parse_number(volumes[i]["lock_failures"], 1000, at + ".lock_failures")
                                           : 0);
    v.dismount_error = static_cast<DWORD>(
        volumes[i].contains("dismount_error") ? parse_number(volumes[i]["dismount_error"], 0xFFFF, at + ".dismount_error") : 0);
    v.eject_error = static_cast<DWORD>(
        volumes[i].contains("eject_error") ? parse_number(volumes[i]["eject_error"], 0xFFFF, at + ".eject_error") : 0);
    if (volumes[i].contains("ejected")) {
      if (!volumes[i]["ejected"].is_boolean()) fail(at + ".ejected", "expected true or false");
      v.ejected = volumes[i]["ejected"].get<bool>();
    }
    disk.volumes.push_back(v);
  }
  return disk;
}

UCHAR speed_of(const json& value, const std::string& where) {
  const std::string s = value.is_string() ? value.get<std::string>() : "";
  if (s == "low") return UsbLowSpeed;
  if (s == "full") return UsbFullSpeed;
  if (s == "high") return UsbHighSpeed;
  if (s == "super") return UsbSuperSpeed;
  fail(where, "expected low, full, high or super");
}

void read_faults(const json& f, Device& device, const std::string& where) {
  only_members(f,
               {"connection_status", "string_errors", "configuration_errors", "driver_key_error", "open_error",
                "missing_properties", "odd_length_strings", "wrong_type_strings"},
               where);
  if (f.contains("connection_status"))
    device.faults.connection_status = parse_number(f["connection_status"], 10, where + ".connection_status");
  auto list = [&](const char* name) {
    const json value = f.value(name, json::array());
    if (!value.is_array()) fail(where + "." + name, "expected an array");
    return value;
  };
  for (const json& s : list("string_errors")) device.faults.string_errors.insert(string_key(s, where + ".string_errors"));
  for (const json& c : list("configuration_errors"))
    device.faults.configuration_errors.insert(static_cast<BYTE>(parse_number(c, 0xFF, where + ".configuration_errors")));
  if (f.contains("driver_key_error")) device.faults.driver_key_error = error_code(f["driver_key_error"], where + ".driver_key_error");
  if (f.contains("open_error")) device.faults.open_error = error_code(f["open_error"], where + ".open_error");
  for (const json& name : list("missing_properties")) {
    const PropertyName* known = name.is_string() ? property_by_name(name.get<std::string>()) : nullptr;
    if (!known) fail(where + ".missing_properties", "unknown property " + name.dump());
    device.node.unset.insert(known->code);
    device.node.properties.erase(known->code);
  }
  // Descriptors that lie about themselves: changed in place, so the machine file keeps the bytes.
  for (const char* name : {"odd_length_strings", "wrong_type_strings"}) {
    for (const json& s : list(name)) {
      const auto key = string_key(s, where + "." + name);
      const auto found = device.strings.find(key);
      if (found == device.strings.end() || found->second.size() < 2)
        fail(where + "." + name, "no string descriptor " + std::to_string(key.second) + " in that language");
      if (name[0] == 'o')
        found->second.push_back(found->second.back()), found->second[0] = static_cast<std::uint8_t>(found->second.size());
      else
        found->second[1] = USB_CONFIGURATION_DESCRIPTOR_TYPE;
    }
  }
}

std::unique_ptr<Device> read_device(json j, const std::string& folder, const std::string& where, int depth);

Hub read_hub_ports(const json& devices, unsigned ports, const std::string& folder, const std::string& where, int depth) {
  Hub hub;
  hub.ports.resize(ports);
  if (!devices.is_object()) fail(where, "expected an object of ports");
  for (const auto& [port, device] : devices.items()) {
    const unsigned number = parse_number(json(port), 255, where + "." + port);
    if (number < 1 || number > ports) fail(where + "." + port, "no such port (the hub has " + std::to_string(ports) + ")");
    hub.ports[number - 1] = read_device(device, folder, where + "." + port, depth + 1);
  }
  return hub;
}

void read_descriptors(const json& d, Device& device, const std::string& where) {
  only_members(d, {"device", "configurations", "strings", "sysfs"}, where);
  if (d.contains("sysfs")) {  // the device descriptor followed by each configuration, as Linux keeps them
    const Bytes all = parse_hex(d["sysfs"], where + ".sysfs");
    if (all.size() < 18) fail(where + ".sysfs", "shorter than a device descriptor");
    device.device_descriptor.assign(all.begin(), all.begin() + 18);
    for (std::size_t at = 18; at < all.size();) {
      if (all.size() - at < 4) fail(where + ".sysfs", "a configuration is cut short");
      const std::size_t total = all[at + 2] | (all[at + 3] << 8);
      if (total < 4 || at + total > all.size()) fail(where + ".sysfs", "a configuration's wTotalLength runs past the end");
      device.configurations.emplace_back(all.begin() + at, all.begin() + at + total);
      at += total;
    }
  }
  if (d.contains("device")) device.device_descriptor = parse_hex(d["device"], where + ".device");
  if (device.device_descriptor.empty()) fail(where, "needs \"device\" (or \"sysfs\")");
  if (d.contains("configurations")) {
    if (!d["configurations"].is_array()) fail(where + ".configurations", "expected an array");
    device.configurations.clear();
    for (std::size_t i = 0; i < d["configurations"].size(); ++i)
      device.configurations.push_back(parse_hex(d["configurations"][i], where + ".configurations[" + std::to_string(i) + "]"));
  }
  if (d.contains("strings")) {
    if (!d["strings"].is_object()) fail(where + ".strings", "expected an object of languages");
    for (const auto& [language, list] : d["strings"].items()) {
      const WORD lang = static_cast<WORD>(parse_number(json(language), 0xFFFF, where + ".strings"));
      if (!list.is_object()) fail(where + ".strings." + language, "expected an object of indexes");
      for (const auto& [index, hex] : list.items()) {
        const std::string at = where + ".strings." + language + "." + index;
        device.strings[{lang, static_cast<BYTE>(parse_number(json(index), 0xFF, at))}] = parse_hex(hex, at);
      }
    }
  }
}

std::unique_ptr<Device> read_device(json j, const std::string& folder, const std::string& where, int depth) {
  if (depth > kMaxDepth) fail(where, "hubs nested more than " + std::to_string(kMaxDepth) + " deep");
  std::string here = folder;
  if (j.is_object() && j.contains("file")) {  // a device fixture, with members here overriding its own
    if (!j["file"].is_string()) fail(where + ".file", "expected a path");
    const std::string path = joined(folder, j["file"].get<std::string>());
    json base = parse_file(path);
    if (!base.is_object()) fail(path, "expected a device object");
    j.erase("file");
    base.merge_patch(j);
    j = std::move(base);
    here = folder_of(path);
  }
  only_members(j,
               {"descriptors", "vendor_id", "product_id", "usb", "class", "subclass", "protocol", "max_packet0",
                "revision", "manufacturer", "product", "serial", "strings", "interfaces", "configurations", "speed",
                "address", "current_configuration", "devinst", "instance_id", "properties", "unset_properties", "hub",
                "disks", "volumes", "faults", "admission", "request", "comment"},
               where);
  auto device = std::make_unique<Device>();
  if (j.contains("descriptors")) read_descriptors(j["descriptors"], *device, where + ".descriptors");
  build_shorthand(j, *device, where);
  read_node(j, device->node, where);
  const unsigned bcd_usb = device->device_descriptor.size() >= 4 ? device->device_descriptor[2] | (device->device_descriptor[3] << 8) : 0x0200;
  device->speed = j.contains("speed") ? speed_of(j["speed"], where + ".speed")
                  : bcd_usb >= 0x0300 ? static_cast<UCHAR>(UsbSuperSpeed)
                  : bcd_usb >= 0x0200 ? static_cast<UCHAR>(UsbHighSpeed)
                                      : static_cast<UCHAR>(UsbFullSpeed);
  if (j.contains("address")) device->address = static_cast<USHORT>(parse_number(j["address"], 127, where + ".address"));
  if (j.contains("current_configuration"))
    device->current_configuration = static_cast<UCHAR>(parse_number(j["current_configuration"], 0xFF, where + ".current_configuration"));
  const bool hub_class = device->device_descriptor.size() >= 5 && device->device_descriptor[4] == 9;
  if (j.contains("hub") || hub_class) {
    const json h = j.value("hub", json::object());
    only_members(h, {"ports", "bus_powered", "name", "devices"}, where + ".hub");
    const unsigned ports = h.contains("ports") ? parse_number(h["ports"], 255, where + ".hub.ports") : 4;
    if (ports == 0) fail(where + ".hub.ports", "a hub has at least one port");
    device->hub = std::make_unique<Hub>(read_hub_ports(h.value("devices", json::object()), ports, here, where + ".hub.devices", depth));
    device->hub->bus_powered = h.value("bus_powered", true);
    if (h.contains("name")) device->hub->name = text::from_utf8(h["name"].get<std::string>());
  }
  if (j.contains("volumes")) device->disks.push_back(read_disk(json{{"volumes", j["volumes"]}}, where));
  if (j.contains("disks")) {
    if (!j["disks"].is_array()) fail(where + ".disks", "expected an array");
    for (std::size_t i = 0; i < j["disks"].size(); ++i)
      device->disks.push_back(read_disk(j["disks"][i], where + ".disks[" + std::to_string(i) + "]"));
  }
  if (j.contains("faults")) read_faults(j["faults"], *device, where + ".faults");
  read_admission(j, *device, where);
  return device;
}

Controller read_controller(const json& j, const std::string& folder, const std::string& where) {
  only_members(j, {"index", "usb", "ports", "description", "devinst", "instance_id", "properties", "unset_properties",
                   "root_hub", "devices", "comment"},
               where);
  Controller c;
  if (!j.contains("index")) fail(where, "a controller needs an \"index\" (HCD<index>)");
  c.index = static_cast<int>(parse_number(j["index"], 99, where + ".index"));
  read_node(j, c.node, where);
  const unsigned ports = j.contains("ports") ? parse_number(j["ports"], 255, where + ".ports") : 4;
  if (ports == 0) fail(where + ".ports", "a root hub has at least one port");
  c.root_hub = read_hub_ports(j.value("devices", json::object()), ports, folder, where + ".devices", 1);
  if (j.contains("root_hub")) {
    const json& r = j["root_hub"];
    only_members(r, {"name", "devinst", "instance_id", "properties", "unset_properties"}, where + ".root_hub");
    read_node(r, c.root_hub_node, where + ".root_hub");
    if (r.contains("name")) c.root_hub.name = text::from_utf8(r["name"].get<std::string>());
  }
  const std::string usb = j.value("usb", std::string("3.0"));
  if (usb != "3.0" && usb != "2.0" && usb != "1.1") fail(where + ".usb", "expected 3.0, 2.0 or 1.1");
  if (!c.node.properties.count(CM_DRP_DEVICEDESC) && !c.node.unset.count(CM_DRP_DEVICEDESC)) {
    const std::string fallback = usb == "3.0" ? "USB xHCI Compliant Host Controller"
                                 : usb == "2.0" ? "Standard Enhanced PCI to USB Host Controller"
                                                : "Standard OpenHCD USB Host Controller";
    c.node.properties[CM_DRP_DEVICEDESC] = text_property(text::from_utf8(j.value("description", fallback)));
  }
  if (c.root_hub_node.instance_id.empty())
    c.root_hub_node.instance_id = usb == "3.0" ? u"USB\\ROOT_HUB30" : usb == "2.0" ? u"USB\\ROOT_HUB20" : u"USB\\ROOT_HUB";
  return c;
}

}  // namespace

Machine read_machine(const std::string& text, const std::string& folder) {
  const json j = parse_text(text, "machine");
  only_members(j, {"controllers", "disks", "root", "storage_controller", "comment"}, "machine");
  Machine machine;
  if (j.contains("root")) read_node(j["root"], machine.root, "machine.root");
  if (j.contains("storage_controller")) read_node(j["storage_controller"], machine.storage_controller, "machine.storage_controller");
  const json controllers = j.value("controllers", json::array());
  if (!controllers.is_array()) fail("machine.controllers", "expected an array");
  for (std::size_t i = 0; i < controllers.size(); ++i) {
    Controller c = read_controller(controllers[i], folder, "machine.controllers[" + std::to_string(i) + "]");
    for (const Controller& other : machine.controllers)
      if (other.index == c.index) fail("machine.controllers[" + std::to_string(i) + "]", "HCD" + std::to_string(c.index) + " given twice");
    machine.controllers.push_back(std::move(c));
  }
  std::sort(machine.controllers.begin(), machine.controllers.end(),
            [](const Controller& a, const Controller& b) { return a.index < b.index; });
  const json disks = j.value("disks", json::array());
  if (!disks.is_array()) fail("machine.disks", "expected an array");
  for (std::size_t i = 0; i < disks.size(); ++i) {
    Disk disk = read_disk(disks[i], "machine.disks[" + std::to_string(i) + "]");
    if (!disks[i].contains("instance_id"))
      disk.node.instance_id = u"SCSI\\DISK&VEN_NVME&PROD_SYSTEM_DISK\\4&2F1A3C5B&0&00000" + text::from_utf8(std::to_string(i));
    machine.disks.push_back(std::move(disk));
  }
  complete_machine(machine);
  return machine;
}

void plug_device(Machine& machine, const PortPath& path, const std::string& text, const std::string& folder) {
  const std::string where = "device";
  json j = parse_text(text, where);
  auto found = std::find_if(machine.controllers.begin(), machine.controllers.end(),
                            [&](const Controller& c) { return c.index + 1 == path.controller; });
  if (found == machine.controllers.end()) fail(path.text(), "no controller " + std::to_string(path.controller));
  Hub* hub = &found->root_hub;
  for (std::size_t i = 0; i + 1 < path.ports.size(); ++i) {
    const int port = path.ports[i];
    if (port > static_cast<int>(hub->ports.size()) || !hub->ports[port - 1] || !hub->ports[port - 1]->hub)
      fail(path.text(), "no hub at port " + std::to_string(i + 1) + " of the path");
    hub = hub->ports[port - 1]->hub.get();
  }
  const int port = path.ports.back();
  if (port > static_cast<int>(hub->ports.size()))
    fail(path.text(), "the hub has " + std::to_string(hub->ports.size()) + " ports");
  if (hub->ports[port - 1]) fail(path.text(), "the port is in use (unplug it first)");
  auto device = read_device(std::move(j), folder, where, static_cast<int>(path.ports.size()));
  hub->ports[port - 1] = std::move(device);
  try {
    complete_machine(machine);
  } catch (...) {
    hub->ports[port - 1].reset();
    throw;
  }
}

bool unplug_device(Machine& machine, const PortPath& path) {
  auto found = std::find_if(machine.controllers.begin(), machine.controllers.end(),
                            [&](const Controller& c) { return c.index + 1 == path.controller; });
  if (found == machine.controllers.end()) return false;
  Hub* hub = &found->root_hub;
  for (std::size_t i = 0; i < path.ports.size(); ++i) {
    const int port = path.ports[i];
    if (port > static_cast<int>(hub->ports.size()) || !hub->ports[port - 1]) return false;
    if (i + 1 == path.ports.size()) {
      hub->ports[port - 1].reset();
      return true;
    }
    if (!hub->ports[port - 1]->hub) return false;
    hub = hub->ports[port - 1]->hub.get();
  }
  return false;
}

}  // namespace os::sim::usb
