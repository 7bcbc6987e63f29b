// plug and unplug: connecting a device fixture to the machine's hardware and handing the new
// devices to the machine's kernel, whose VostUsb driver decides them (sim/machined/plugging.h),
// and disconnecting a device (the driver withdraws what still waits for it).
#include <cstdio>
#include <functional>
#include <map>

#include "commands.h"
#include "library/usb/device_list.h"
#include "platform/sim/machine_link.h"
#include "platform/sim/usb_fixture.h"
#include "platform/sim/usb_store.h"
#include "text/utf.h"

namespace sim_cli {

namespace {

namespace usb = os::sim::usb;
namespace link = os::sim::machine;

struct NewDevice {
  std::string port;
  std::string instance_id;
  bool hub = false;
  std::string parent = "-";
  const usb::RequestFixture* request = nullptr;
};

// The device at `path` and everything behind it, parents first.
void collect(const usb::Device& device, const usb::PortPath& path, const std::string& parent,
             std::vector<NewDevice>& out) {
  out.push_back({path.text(), text::to_utf8(device.node.instance_id), device.hub != nullptr, parent, &device.request});
  if (!device.hub) return;
  const std::string me = std::to_string(out.size() - 1);
  for (std::size_t i = 0; i < device.hub->ports.size(); ++i) {
    if (!device.hub->ports[i]) continue;
    usb::PortPath behind = path;
    behind.ports.push_back(static_cast<int>(i + 1));
    collect(*device.hub->ports[i], behind, me, out);
  }
}

// The request's text: the device's document as the device list holds it, or the fixture's own.
std::string request_text(const NewDevice& device, const std::map<std::string, std::string>& documents) {
  if (device.request->given) {
    std::string text;
    for (std::size_t i = 0; i < device.request->repeat; ++i) text += device.request->text;
    return text;
  }
  const auto found = documents.find(device.port);
  // A device whose document cannot be built (a failing driver key, for one) is still asked about.
  return found == documents.end() ? "{}" : found->second;
}

std::map<std::string, std::string> documents_by_port() {
  using namespace VostUsbWardenManager;
  JsonHolder list;
  std::vector<std::u16string> ports;
  std::u16string status;
  std::map<std::string, std::string> out;
  if (GetCurrentUSBDevicesWithPorts(100, list, &ports, status) != 0) return out;
  for (std::size_t i = 0; i < ports.size() && i < list.Count(); ++i) {
    out[text::to_utf8(ports[i])] = text::to_utf8(list[static_cast<int>(i)].ToString());
  }
  return out;
}

link::Message plug_message(const std::vector<NewDevice>& devices) {
  const auto documents = documents_by_port();
  link::Message m{"plug", link::number(devices.size())};
  for (const NewDevice& d : devices) {
    const usb::RequestFixture& r = *d.request;
    m.insert(m.end(), {d.port, d.instance_id, d.hub ? "hub" : "device", d.parent, request_text(d, documents),
                       r.given && r.size >= 0 ? link::number(static_cast<unsigned long long>(r.size)) : std::string(),
                       !r.given || r.nul ? "nul" : "", r.given && r.is_void ? "void" : ""});
  }
  return m;
}

// Without a kernel nobody filters: the devices are admitted as they are.
void admit_without_kernel(const std::vector<NewDevice>& devices) {
  usb::change_machine([&](usb::Machine& machine) {
    for (const NewDevice& d : devices) {
      usb::PortPath path;
      if (!usb::parse_port_path(d.port, path)) continue;
      if (usb::Device* device = usb::device_at(machine, path)) device->admission = {"admitted", "no driver"};
    }
    return true;
  });
}

}  // namespace

int cmd_plug(const Args& given) {
  Args args = given;
  const bool wait = std::erase(args, std::string("--wait")) > 0;
  if (args.size() != 2) return fail(kBadInput, "usage: plug [--wait] PORT FIXTURE");
  usb::PortPath path;
  if (!usb::parse_port_path(args[0], path)) return fail(kBadInput, "not a port: '" + args[0] + "' (for example 1-2 or 1-2.4)");
  std::string fixture;
  if (!read_text(args[1], fixture)) return fail(kBadInput, "cannot read " + args[1]);
  bool bad_fixture = false;
  std::vector<NewDevice> devices;
  const std::string error = usb::change_machine([&](usb::Machine& machine) {
    bad_fixture = true;  // what is thrown from here on is about the fixture or the port
    usb::plug_device(machine, path, fixture, folder_of(args[1]));
    bad_fixture = false;
    // Every new device waits for the driver; until then its storage does not appear.
    std::function<void(usb::Device&)> hold = [&](usb::Device& d) {
      d.admission = {"waiting", ""};
      if (d.hub)
        for (auto& behind : d.hub->ports)
          if (behind) hold(*behind);
    };
    hold(*usb::device_at(machine, path));
    return true;
  });
  if (!error.empty()) return fail(bad_fixture ? kBadInput : kRefused, error);
  const auto view = usb::current_machine();
  if (const usb::Device* plugged = view ? usb::device_at(view->machine, path) : nullptr) {
    collect(*plugged, path, "-", devices);
  }
  std::printf("plugged %s into %s\n", args[1].c_str(), path.text().c_str());
  std::fflush(stdout);

  os::sim::UniqueFd kernel;
  link::Message reply;
  if (devices.empty() || link::connect(kernel) != ERROR_SUCCESS ||
      !link::send_message(kernel.get(), plug_message(devices)) || !link::receive_message(kernel.get(), reply) ||
      reply.empty() || reply[0] != "0") {
    admit_without_kernel(devices);
    if (wait)
      for (const NewDevice& d : devices) std::printf("%s admitted no driver\n", d.port.c_str());
    return 0;
  }
  if (!wait) return 0;
  if (!link::receive_message(kernel.get(), reply) || reply.empty() || reply[0] != "0") {
    return fail(kRefused, "the machine's kernel went away before the verdict");
  }
  for (std::size_t i = 1; i < reply.size(); ++i) std::printf("%s\n", reply[i].c_str());
  return 0;
}

int cmd_unplug(const Args& args) {
  if (args.size() != 1) return fail(kBadInput, "usage: unplug PORT");
  usb::PortPath path;
  if (!usb::parse_port_path(args[0], path)) return fail(kBadInput, "not a port: '" + args[0] + "' (for example 1-2 or 1-2.4)");
  bool found = false;
  const std::string error = usb::change_machine([&](usb::Machine& machine) {
    found = usb::unplug_device(machine, path);
    return found;
  });
  if (!error.empty()) return fail(kRefused, error);
  if (!found) return fail(kRefused, "no device at " + path.text());
  // A request of the device that still waits is withdrawn (a kernel that does not run has none).
  os::sim::UniqueFd kernel;
  link::Message reply;
  if (link::connect(kernel, false) == ERROR_SUCCESS) link::call(kernel.get(), {"unplugged", path.text()}, reply);
  std::printf("unplugged %s\n", path.text().c_str());
  return 0;
}

}  // namespace sim_cli
