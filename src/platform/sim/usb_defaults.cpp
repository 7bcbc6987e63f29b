// What a fixture leaves out: device instance handles, identifiers, names, numbers and the
// properties that Windows gives such nodes.
#include <algorithm>
#include <cstdio>

#include "platform/sim/usb_fixture_detail.h"
#include "text/utf.h"

namespace os::sim::usb::detail {

namespace {

const char kUsbClass[] = "{36fc9e60-c465-11cf-8056-444553540000}";
const char kHidClass[] = "{745a17a0-74d3-11d0-b6fe-00a0c90f57da}";
const char kNetClass[] = "{4d36e972-e325-11ce-bfc1-08002be10318}";
const char kWpdClass[] = "{eec5ad98-8080-425f-922a-dabf3de3f69a}";
const char kMediaClass[] = "{4d36e96c-e325-11ce-bfc1-08002be10318}";
const char kImageClass[] = "{6bdd1fc6-810f-11d0-bec7-08002be2092f}";
const char kDiskClass[] = "{4d36e967-e325-11ce-bfc1-08002be10318}";
const char kCdromClass[] = "{4d36e965-e325-11ce-bfc1-08002be10318}";
const char kHubInterface[] = "#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
const GUID kUsbBus = {0x9d7debbc, 0xc85d, 0x11d1, {0x9e, 0xb4, 0x00, 0x60, 0x08, 0xc3, 0xa1, 0x9a}};
const GUID kPciBus = {0xc8ebdfb0, 0xb510, 0x11d0, {0x80, 0xe5, 0x00, 0xa0, 0xc9, 0x25, 0x42, 0xe3}};
constexpr DWORD kPnpBus = 15, kPciBusType = 5;
constexpr DWORD kSurpriseRemoval = 3, kNoRemoval = 1;

std::u16string u(const std::string& s) { return text::from_utf8(s); }

std::string printf_text(const char* format, unsigned a, unsigned b = 0, unsigned c = 0) {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, format, a, b, c);
  return buffer;
}

// The kind of function a device is, from its descriptors.
struct Function {
  unsigned cls = 0, sub = 0, proto = 0;
  bool composite = false;
};

Function function_of(const Device& d) {
  Function f;
  const Bytes& dd = d.device_descriptor;
  if (dd.size() >= 7) f = {dd[4], dd[5], dd[6], false};
  if (f.cls != 0 && f.cls != 0xEF) return f;
  std::set<unsigned> interfaces;
  bool first = true;
  if (!d.configurations.empty()) {
    const Bytes& c = d.configurations.front();
    for (std::size_t at = 0; at + 2 <= c.size() && c[at] != 0 && at + c[at] <= c.size(); at += c[at]) {
      if (c[at + 1] != USB_INTERFACE_DESCRIPTOR_TYPE || c[at] < 9) continue;
      interfaces.insert(c[at + 2]);
      if (first) f = {c[at + 5], c[at + 6], c[at + 7], false}, first = false;
    }
  }
  f.composite = interfaces.size() > 1;
  return f;
}

struct ClassInfo {
  const char* name;
  const char* guid;
  const char* description;
  const char* manufacturer;
};

ClassInfo class_info(const Function& f) {
  if (f.composite) return {"USB", kUsbClass, "USB Composite Device", "(Standard USB Host Controller)"};
  switch (f.cls) {
    case 0x01: return {"MEDIA", kMediaClass, "USB Audio Device", "(Generic USB Audio)"};
    case 0x02: case 0x0A: return {"Net", kNetClass, "USB Ethernet Adapter", "(Standard network adapters)"};
    case 0x03: return {"HIDClass", kHidClass, "USB Input Device", "(Standard system devices)"};
    case 0x06: return f.sub == 1 && f.proto == 1 ? ClassInfo{"WPD", kWpdClass, "MTP Device", "(Standard MTP Device)"}
                                                 : ClassInfo{"Image", kImageClass, "USB Imaging Device", "(Generic Imaging Device)"};
    case 0x07: return {"USB", kUsbClass, "USB Printing Support", "Microsoft"};
    case 0x08: return {"USB", kUsbClass, "USB Mass Storage Device", "Compatible USB storage device"};
    case 0x09: return {"USB", kUsbClass, "Generic USB Hub", "(Standard USB HUBs)"};
    case 0xFF: return {"USB", kUsbClass, "USB Device", "(Standard USB Host Controller)"};
    default: return {"USB", kUsbClass, "USB Device", "(Standard USB Host Controller)"};
  }
}

// Numbers that the machine hands out, continuing after the highest one in use.
struct Counters {
  DEVINST devinst = 0;
  unsigned pdo = 0;
  std::map<std::string, unsigned> driver;  // per class GUID (lower case)
  std::map<int, unsigned> address;         // per controller
  std::map<DEVICE_TYPE, std::set<ULONG>> device_numbers;
};

std::string text_of(const DevNode& n, ULONG code) {
  const auto found = n.properties.find(code);
  if (found == n.properties.end()) return {};
  std::u16string t = text::from_utf16le(std::string(found->second.data.begin(), found->second.data.end()));
  return text::to_utf8(t.substr(0, t.find(u'\0')));
}

void note(Counters& k, const DevNode& n) {
  k.devinst = std::max(k.devinst, n.devinst);
  const std::string driver = text_of(n, CM_DRP_DRIVER);
  if (driver.size() > 39 && driver[38] == '\\') {
    std::string guid = driver.substr(0, 38);
    for (char& c : guid) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    k.driver[guid] = std::max(k.driver[guid], static_cast<unsigned>(std::atoi(driver.c_str() + 39)) + 1);
  }
  const std::string pdo = text_of(n, CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME);
  if (pdo.rfind("\\Device\\USBPDO-", 0) == 0) k.pdo = std::max(k.pdo, static_cast<unsigned>(std::atoi(pdo.c_str() + 15)) + 1);
}

void set_default(DevNode& n, ULONG code, const Property& p) {
  if (!n.properties.count(code) && !n.unset.count(code)) n.properties[code] = p;
}

void complete_node(Counters& k, DevNode& n, const char* class_name, const char* class_guid, const std::string& description,
                   const std::string& manufacturer, const std::string& enumerator) {
  if (n.devinst == 0) n.devinst = ++k.devinst;
  if (class_name) {
    set_default(n, CM_DRP_CLASS, text_property(u(class_name)));
    set_default(n, CM_DRP_CLASSGUID, text_property(u(class_guid)));
    if (!n.properties.count(CM_DRP_DRIVER) && !n.unset.count(CM_DRP_DRIVER))
      n.properties[CM_DRP_DRIVER] = text_property(u(std::string(class_guid) + printf_text("\\%04u", k.driver[class_guid]++)));
  }
  if (!description.empty()) set_default(n, CM_DRP_DEVICEDESC, text_property(u(description)));
  if (!manufacturer.empty()) set_default(n, CM_DRP_MFG, text_property(u(manufacturer)));
  set_default(n, CM_DRP_ENUMERATOR_NAME, text_property(u(enumerator)));
  set_default(n, CM_DRP_INSTALL_STATE, number_property(0));
  if (!n.instance_id.empty()) {
    // Hardware ids from the instance id: its first two parts.
    const std::u16string id = n.instance_id.substr(0, n.instance_id.rfind(u'\\'));
    set_default(n, CM_DRP_HARDWAREID, texts_property({id}));
  }
}

std::string string_text(const Device& d, BYTE index) {
  const auto found = d.strings.find({0x0409, index});
  if (index == 0 || found == d.strings.end() || found->second.size() < 2) return {};
  const Bytes& b = found->second;
  return text::to_utf8(text::from_utf16le(std::string(b.begin() + 2, b.begin() + std::min<std::size_t>(b.size(), b[0]))));
}

void complete_disk(Counters& k, Disk& disk, const std::string& parent_product) {
  const bool disk_type = disk.device_type == FILE_DEVICE_DISK;
  std::string friendly = parent_product.empty() ? "Generic Flash Disk" : parent_product;
  complete_node(k, disk.node, disk_type ? "DiskDrive" : "CDROM", disk_type ? kDiskClass : kCdromClass,
                disk_type ? "Disk drive" : "CD-ROM Drive", disk_type ? "(Standard disk drives)" : "(Standard CD-ROM drives)",
                text::to_utf8(disk.node.instance_id.substr(0, disk.node.instance_id.find(u'\\'))));
  set_default(disk.node, CM_DRP_FRIENDLYNAME, text_property(u(friendly + " USB Device")));
  set_default(disk.node, CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME, text_property(u(printf_text("\\Device\\%08x", 0x30 + disk.node.devinst))));
  set_default(disk.node, CM_DRP_REMOVAL_POLICY, number_property(kSurpriseRemoval));
  if (disk.device_number == ~0u) {
    auto& used = k.device_numbers[disk.device_type];
    ULONG n = 0;
    while (used.count(n)) ++n;
    disk.device_number = n;
    used.insert(n);
  }
}

void note_disk(Counters& k, const Disk& disk) {
  note(k, disk.node);
  if (disk.device_number != ~0u && !k.device_numbers[disk.device_type].insert(disk.device_number).second)
    fail(text::to_utf8(disk.node.instance_id), "device number " + std::to_string(disk.device_number) + " given twice");
}

void complete_device(Counters& k, Device& d, int controller, const std::vector<int>& path, unsigned parent_hub_number) {
  const Bytes& dd = d.device_descriptor;
  const unsigned vid = dd.size() >= 10 ? dd[8] | (dd[9] << 8) : 0, pid = dd.size() >= 12 ? dd[10] | (dd[11] << 8) : 0;
  const unsigned rev = dd.size() >= 14 ? dd[12] | (dd[13] << 8) : 0;
  const int port = path.back();
  if (!d.strings.empty() && !d.strings.count({0, 0})) {  // the language list, from the languages present
    Bytes list{2, USB_STRING_DESCRIPTOR_TYPE};
    std::set<WORD> languages;
    for (const auto& [key, bytes] : d.strings) languages.insert(key.first);
    for (WORD l : languages) list.push_back(static_cast<std::uint8_t>(l)), list.push_back(static_cast<std::uint8_t>(l >> 8));
    list[0] = static_cast<std::uint8_t>(list.size());
    d.strings[{0, 0}] = list;
  }
  if (d.address == 0) d.address = static_cast<USHORT>(++k.address[controller]);
  const std::string product = string_text(d, dd.size() >= 16 ? dd[15] : 0);
  const std::string serial = string_text(d, dd.size() >= 17 ? dd[16] : 0);
  const std::string ids = printf_text("USB\\VID_%04X&PID_%04X", vid, pid);
  if (d.node.instance_id.empty()) {
    const bool usable = !serial.empty() && serial.find_first_not_of("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") == std::string::npos;
    unsigned hash = 0x1F3A5C7u * static_cast<unsigned>(controller);
    for (int p : path) hash = hash * 31 + static_cast<unsigned>(p);
    d.node.instance_id = u(ids + "\\" + (usable ? serial : printf_text("6&%X&0&%u", hash & 0xFFFFFFF, static_cast<unsigned>(port))));
  }
  const Function f = function_of(d);
  const ClassInfo c = class_info(f);
  const std::string description = (f.cls == 0x02 || f.cls == 0x06 || f.cls == 0x0A) && !product.empty() ? product : c.description;
  set_default(d.node, CM_DRP_HARDWAREID, texts_property({u(ids + printf_text("&REV_%04X", rev)), u(ids)}));
  if (f.composite)
    set_default(d.node, CM_DRP_COMPATIBLEIDS, texts_property({u"USB\\DevClass_00&SubClass_00&Prot_00", u"USB\\DevClass_00&SubClass_00", u"USB\\DevClass_00", u"USB\\COMPOSITE"}));
  else
    set_default(d.node, CM_DRP_COMPATIBLEIDS, texts_property({u(printf_text("USB\\Class_%02X&SubClass_%02X&Prot_%02X", f.cls, f.sub, f.proto)),
                                                              u(printf_text("USB\\Class_%02X&SubClass_%02X", f.cls, f.sub)),
                                                              u(printf_text("USB\\Class_%02X", f.cls))}));
  complete_node(k, d.node, c.name, c.guid, description, c.manufacturer, "USB");
  set_default(d.node, CM_DRP_LOCATION_INFORMATION, text_property(u(printf_text("Port_#%04u.Hub_#%04u", static_cast<unsigned>(port), parent_hub_number))));
  set_default(d.node, CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME, text_property(u(printf_text("\\Device\\USBPDO-%u", k.pdo++))));
  set_default(d.node, CM_DRP_BUSTYPEGUID, guid_property(kUsbBus));
  set_default(d.node, CM_DRP_LEGACYBUSTYPE, number_property(kPnpBus));
  set_default(d.node, CM_DRP_ADDRESS, number_property(static_cast<DWORD>(port)));
  set_default(d.node, CM_DRP_REMOVAL_POLICY, number_property(kSurpriseRemoval));
  if (d.hub && d.hub->name.empty()) {
    std::u16string name = d.node.instance_id;
    std::replace(name.begin(), name.end(), u'\\', u'#');
    d.hub->name = name + u(kHubInterface);
  }
  for (Disk& disk : d.disks) complete_disk(k, disk, product);
}

void complete_hub(Counters& k, Hub& hub, int controller, std::vector<int>& path, unsigned hub_number) {
  for (std::size_t i = 0; i < hub.ports.size(); ++i) {
    if (!hub.ports[i]) continue;
    path.push_back(static_cast<int>(i + 1));
    complete_device(k, *hub.ports[i], controller, path, hub_number);
    if (hub.ports[i]->hub) complete_hub(k, *hub.ports[i]->hub, controller, path, hub.ports[i]->node.devinst);
    path.pop_back();
  }
}

void note_hub(Counters& k, const Hub& hub, int controller) {
  for (const auto& d : hub.ports) {
    if (!d) continue;
    note(k, d->node);
    k.address[controller] = std::max<unsigned>(k.address[controller], d->address);
    for (const Disk& disk : d->disks) note_disk(k, disk);
    if (d->hub) note_hub(k, *d->hub, controller);
  }
}

void check_letters(const Machine& machine) {
  std::set<char> letters;
  auto check = [&](const std::vector<Disk>& disks) {
    for (const Disk& d : disks)
      for (const Volume& v : d.volumes)
        if (!letters.insert(v.letter).second) fail("machine", std::string("drive letter ") + v.letter + ": is given twice");
  };
  check(machine.disks);
  for_each_device(machine, [&](const Device& d, const PortPath&) { check(d.disks); });
}

}  // namespace

void complete_machine(Machine& machine) {
  check_letters(machine);
  Counters k;
  note(k, machine.root);
  note(k, machine.storage_controller);
  for (const Disk& d : machine.disks) note_disk(k, d);
  for (const Controller& c : machine.controllers) {
    note(k, c.node);
    note(k, c.root_hub_node);
    note_hub(k, c.root_hub, c.index);
  }
  if (machine.root.instance_id.empty()) machine.root.instance_id = u"HTREE\\ROOT\\0";
  if (machine.root.devinst == 0) machine.root.devinst = ++k.devinst;
  for (Controller& c : machine.controllers) {
    if (c.node.instance_id.empty())
      c.node.instance_id = u(printf_text("PCI\\VEN_8086&DEV_%04X&SUBSYS_00000000&REV_00\\3&11583659&0&%02X", 0xA36D + c.index, 0xA0 + 8 * c.index));
    complete_node(k, c.node, "USB", kUsbClass, "", "Generic USB xHCI Host Controller", "PCI");
    set_default(c.node, CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME, text_property(u(printf_text("\\Device\\NTPNP_PCI%04u", 20 + c.index))));
    set_default(c.node, CM_DRP_BUSTYPEGUID, guid_property(kPciBus));
    set_default(c.node, CM_DRP_LEGACYBUSTYPE, number_property(kPciBusType));
    set_default(c.node, CM_DRP_BUSNUMBER, number_property(0));
    set_default(c.node, CM_DRP_LOCATION_INFORMATION, text_property(u(printf_text("PCI bus 0, device %u, function %u", 20, c.index))));
    set_default(c.node, CM_DRP_REMOVAL_POLICY, number_property(kNoRemoval));
    DevNode& r = c.root_hub_node;
    if (std::count(r.instance_id.begin(), r.instance_id.end(), u'\\') < 2)
      r.instance_id += u(printf_text("\\4&%X&0&%u", 0x2B7C11Eu + 0x1000u * static_cast<unsigned>(c.index), 0));
    const bool usb3 = r.instance_id.find(u"ROOT_HUB30") != std::u16string::npos;
    complete_node(k, r, "USB", kUsbClass, usb3 ? "USB Root Hub (USB 3.0)" : "USB Root Hub", "(Standard USB HUBs)", "USB");
    set_default(r, CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME, text_property(u(printf_text("\\Device\\USBPDO-%u", k.pdo++))));
    set_default(r, CM_DRP_BUSTYPEGUID, guid_property(kUsbBus));
    set_default(r, CM_DRP_LEGACYBUSTYPE, number_property(kPnpBus));
    set_default(r, CM_DRP_REMOVAL_POLICY, number_property(kNoRemoval));
    if (c.root_hub.name.empty()) {
      std::u16string name = r.instance_id;
      std::replace(name.begin(), name.end(), u'\\', u'#');
      c.root_hub.name = name + u(kHubInterface);
    }
    std::vector<int> path;
    complete_hub(k, c.root_hub, c.index, path, r.devinst);
  }
  if (machine.storage_controller.instance_id.empty())
    machine.storage_controller.instance_id = u"PCI\\VEN_144D&DEV_A808&SUBSYS_A801144D&REV_00\\4&1C3D2F1&0&0008";
  complete_node(k, machine.storage_controller, "SCSIAdapter", "{4d36e97b-e325-11ce-bfc1-08002be10318}",
                "Standard NVM Express Controller", "Standard NVM Express Controller", "PCI");
  set_default(machine.storage_controller, CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME, text_property(u"\\Device\\NTPNP_PCI0008"));
  for (Disk& d : machine.disks) {
    set_default(d.node, CM_DRP_FRIENDLYNAME, text_property(u"NVMe System Disk"));
    set_default(d.node, CM_DRP_REMOVAL_POLICY, number_property(kNoRemoval));
    complete_disk(k, d, "System Disk");
  }
}

}  // namespace os::sim::usb::detail
