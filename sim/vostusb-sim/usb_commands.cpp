// machine load|show, plug and unplug: the machine's USB hardware.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "commands.h"
#include "platform/sim/usb_fixture.h"
#include "platform/sim/usb_store.h"
#include "text/utf.h"

namespace sim_cli {

namespace {

namespace usb = os::sim::usb;

std::string property_text(const usb::DevNode& node, ULONG code) {
  const auto found = node.properties.find(code);
  if (found == node.properties.end() || found->second.type != REG_SZ) return {};
  const usb::Bytes& b = found->second.data;
  const std::u16string t = text::from_utf16le(std::string(b.begin(), b.end()));
  return text::to_utf8(t.substr(0, t.find(u'\0')));
}

std::string string_text(const usb::Device& d, int offset) {
  if (d.device_descriptor.size() <= static_cast<std::size_t>(offset) || d.device_descriptor[offset] == 0) return {};
  const auto found = d.strings.find({0x0409, d.device_descriptor[offset]});
  if (found == d.strings.end() || found->second.size() < 2) return {};
  const usb::Bytes& b = found->second;
  const std::size_t end = std::min<std::size_t>(b.size(), b[0]);
  if (end <= 2) return {};
  return text::to_utf8(text::from_utf16le(std::string(b.begin() + 2, b.begin() + end)));
}

const char* drive_type_name(UINT type) {
  return type == DRIVE_FIXED ? "fixed" : type == DRIVE_CDROM ? "cdrom" : "removable";
}

std::string volumes_text(const std::vector<usb::Disk>& disks) {
  std::string out;
  for (const usb::Disk& disk : disks)
    for (const usb::Volume& v : disk.volumes) {
      out += std::string(out.empty() ? "" : ", ") + v.letter + ": " + drive_type_name(v.drive_type);
      if (v.lock_failures) out += " (lock fails " + std::to_string(v.lock_failures) + "x)";
      if (v.dismount_error) out += " (dismount fails " + std::to_string(v.dismount_error) + ")";
      if (v.eject_error) out += " (eject fails " + std::to_string(v.eject_error) + ")";
      if (v.ejected) out += " (ejected)";
    }
  return out;
}

void show_hub(const usb::Hub& hub, usb::PortPath& path, int depth) {
  for (std::size_t i = 0; i < hub.ports.size(); ++i) {
    path.ports.push_back(static_cast<int>(i + 1));
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    const usb::Device* d = hub.ports[i].get();
    if (!d) {
      std::printf("%s%-10s (empty)\n", indent.c_str(), path.text().c_str());
    } else {
      const usb::Bytes& dd = d->device_descriptor;
      const unsigned vid = dd.size() >= 10 ? dd[8] | (dd[9] << 8) : 0, pid = dd.size() >= 12 ? dd[10] | (dd[11] << 8) : 0;
      std::string line = indent + path.text();
      char ids[16];
      std::snprintf(ids, sizeof ids, "%04X:%04X", vid, pid);
      std::printf("%-*s %s  %s", 10 + depth * 2, line.c_str(), ids, property_text(d->node, CM_DRP_DEVICEDESC).c_str());
      const std::string maker = string_text(*d, 14), product = string_text(*d, 15);
      if (!maker.empty() || !product.empty()) std::printf(" [%s%s%s]", maker.c_str(), maker.empty() ? "" : " ", product.c_str());
      std::printf(" %s", property_text(d->node, CM_DRP_CLASS).c_str());
      if (d->hub) std::printf(", hub with %zu ports (%s)", d->hub->ports.size(), text::to_utf8(d->hub->name).c_str());
      const std::string volumes = volumes_text(d->disks);
      if (!volumes.empty()) std::printf(", volumes %s%s", volumes.c_str(), d->admission.usable() ? "" : " (hidden)");
      if (d->faults.connection_status != DeviceConnected) std::printf(", connection status %u", d->faults.connection_status);
      std::printf(", %s", d->admission.state.c_str());
      if (!d->admission.by.empty()) std::printf(" (%s)", d->admission.by.c_str());
      std::printf("\n");
      if (d->hub) show_hub(*d->hub, path, depth + 1);
    }
    path.ports.pop_back();
  }
}

// The stored machine, with the storage of devices the driver has not admitted (shown as hidden).
void show(const usb::Machine& machine) {
  for (const usb::Controller& c : machine.controllers) {
    std::printf("controller %d: \\\\.\\HCD%d  %s\n", c.index + 1, c.index, property_text(c.node, CM_DRP_DEVICEDESC).c_str());
    std::printf("  root hub %s, %zu ports\n", text::to_utf8(c.root_hub.name).c_str(), c.root_hub.ports.size());
    usb::PortPath path;
    path.controller = c.index + 1;
    show_hub(c.root_hub, path, 1);
  }
  const std::string own = volumes_text(machine.disks);
  if (!own.empty()) std::printf("machine disks: volumes %s\n", own.c_str());
}

int machine_show() {
  const std::string error = usb::change_machine([](usb::Machine& machine) {
    show(machine);
    return false;  // nothing changes
  });
  return error.empty() ? 0 : fail(kRefused, error);
}

int machine_load(const std::string& fixture) {
  std::string text;
  if (!read_text(fixture, text)) return fail(kBadInput, "cannot read " + fixture);
  try {
    const usb::Machine machine = usb::read_machine(text, folder_of(fixture));
    const std::string error = usb::replace_machine(machine);
    if (!error.empty()) return fail(kRefused, error);
  } catch (const usb::FixtureError& e) {
    return fail(kBadInput, fixture + ": " + e.what());
  }
  std::printf("loaded %s\n", fixture.c_str());
  return 0;
}

}  // namespace

bool read_text(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream content;
  content << in.rdbuf();
  text = content.str();
  return true;
}

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

int cmd_machine(const Args& args) {
  if (args.size() == 1 && args[0] == "show") return machine_show();
  if (args.size() == 2 && args[0] == "load") return machine_load(args[1]);
  return fail(kBadInput, "usage: machine load FIXTURE | machine show");
}

}  // namespace sim_cli
