// Writing the machine model as a fixture with every value explicit (the machine file).
#include "platform/sim/usb_fixture_detail.h"
#include "text/utf.h"

namespace os::sim::usb {

using namespace detail;

namespace {

using ojson = nlohmann::ordered_json;

void write_node(ojson& j, const DevNode& n) {
  j["devinst"] = n.devinst;
  j["instance_id"] = text::to_utf8(n.instance_id);
  ojson props = ojson::object();
  for (const auto& [code, p] : n.properties) {
    const PropertyName* name = property_by_code(code);
    props[name ? std::string(name->name) : hex_text(code, 2)] = ojson::parse(property_json(code, p).dump());
  }
  j["properties"] = props;
  if (!n.unset.empty()) {
    ojson unset = ojson::array();
    for (ULONG code : n.unset) unset.push_back(property_by_code(code)->name);
    j["unset_properties"] = unset;
  }
}

const char* drive_type_name(UINT type) {
  return type == DRIVE_FIXED ? "fixed" : type == DRIVE_CDROM ? "cdrom" : "removable";
}

ojson write_disk(const Disk& d) {
  ojson j;
  j["device_type"] = d.device_type == FILE_DEVICE_DISK ? "disk" : "cdrom";
  j["device_number"] = d.device_number;
  write_node(j, d.node);
  ojson volumes = ojson::array();
  for (const Volume& v : d.volumes)
    volumes.push_back({{"letter", std::string(1, v.letter)}, {"type", drive_type_name(v.drive_type)}, {"lock_failures", v.lock_failures},
                       {"dismount_error", v.dismount_error}, {"eject_error", v.eject_error}, {"ejected", v.ejected}});
  j["volumes"] = volumes;
  return j;
}

ojson string_key_json(const std::pair<WORD, BYTE>& key) {
  return {{"index", key.second}, {"language", hex_text(key.first, 4)}};
}

ojson write_ports(const Hub& hub);

ojson write_device(const Device& d) {
  ojson j;
  ojson descriptors;
  descriptors["device"] = to_hex(d.device_descriptor);
  ojson configurations = ojson::array();
  for (const Bytes& c : d.configurations) configurations.push_back(to_hex(c));
  descriptors["configurations"] = configurations;
  ojson strings = ojson::object();
  for (const auto& [key, bytes] : d.strings) strings[hex_text(key.first, 4)][std::to_string(key.second)] = to_hex(bytes);
  descriptors["strings"] = strings;
  j["descriptors"] = descriptors;
  static const char* const kSpeeds[] = {"low", "full", "high", "super"};
  j["speed"] = kSpeeds[d.speed & 3];
  j["address"] = d.address;
  j["current_configuration"] = d.current_configuration;
  write_node(j, d.node);
  if (d.hub) {
    j["hub"] = {{"ports", d.hub->ports.size()}, {"bus_powered", d.hub->bus_powered}, {"name", text::to_utf8(d.hub->name)}};
    j["hub"]["devices"] = write_ports(*d.hub);
  }
  if (!d.disks.empty()) {
    ojson disks = ojson::array();
    for (const Disk& disk : d.disks) disks.push_back(write_disk(disk));
    j["disks"] = disks;
  }
  ojson faults = ojson::object();
  if (d.faults.connection_status != DeviceConnected) faults["connection_status"] = d.faults.connection_status;
  if (!d.faults.string_errors.empty()) {
    faults["string_errors"] = ojson::array();
    for (const auto& key : d.faults.string_errors) faults["string_errors"].push_back(string_key_json(key));
  }
  if (!d.faults.configuration_errors.empty()) faults["configuration_errors"] = d.faults.configuration_errors;
  if (d.faults.driver_key_error) faults["driver_key_error"] = d.faults.driver_key_error;
  if (d.faults.open_error) faults["open_error"] = d.faults.open_error;
  if (!faults.empty()) j["faults"] = faults;
  write_admission(j, d);
  return j;
}

ojson write_ports(const Hub& hub) {
  ojson devices = ojson::object();
  for (std::size_t i = 0; i < hub.ports.size(); ++i)
    if (hub.ports[i]) devices[std::to_string(i + 1)] = write_device(*hub.ports[i]);
  return devices;
}

}  // namespace

std::string write_machine(const Machine& machine) {
  ojson j;
  ojson root;
  write_node(root, machine.root);
  j["root"] = root;
  ojson controllers = ojson::array();
  for (const Controller& c : machine.controllers) {
    ojson cj;
    cj["index"] = c.index;
    cj["ports"] = c.root_hub.ports.size();
    write_node(cj, c.node);
    ojson hub;
    hub["name"] = text::to_utf8(c.root_hub.name);
    write_node(hub, c.root_hub_node);
    cj["root_hub"] = hub;
    cj["devices"] = write_ports(c.root_hub);
    controllers.push_back(cj);
  }
  j["controllers"] = controllers;
  ojson storage;
  write_node(storage, machine.storage_controller);
  j["storage_controller"] = storage;
  ojson disks = ojson::array();
  for (const Disk& d : machine.disks) disks.push_back(write_disk(d));
  j["disks"] = disks;
  return j.dump(1) + "\n";
}

}  // namespace os::sim::usb
