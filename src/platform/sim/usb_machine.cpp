#include "platform/sim/usb_machine.h"

#include <cstdlib>

#include "text/chars.h"

namespace os::sim::usb {

std::u16string Disk::interface_path() const {
  std::u16string path = u"\\\\?\\" + text::lower_az(node.instance_id) + u"#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
  for (std::size_t i = 4; i < path.size(); ++i)
    if (path[i] == u'\\') path[i] = u'#';
  return path;
}

std::vector<USB_PIPE_INFO> Device::pipes() const {
  std::vector<USB_PIPE_INFO> pipes;
  for (const Bytes& config : configurations) {
    if (config.size() < 9 || config[5] != current_configuration) continue;
    const std::size_t total = std::min<std::size_t>(config.size(), config[2] | (config[3] << 8));
    bool first_setting = false;
    for (std::size_t at = 0; at + 2 <= total && config[at] != 0 && at + config[at] <= total; at += config[at]) {
      const std::uint8_t type = config[at + 1];
      if (type == USB_INTERFACE_DESCRIPTOR_TYPE && config[at] >= 4) first_setting = config[at + 3] == 0;
      if (type == USB_ENDPOINT_DESCRIPTOR_TYPE && config[at] >= 7 && first_setting) {
        USB_PIPE_INFO pipe{};
        std::copy(config.begin() + at, config.begin() + at + 7, reinterpret_cast<std::uint8_t*>(&pipe.EndpointDescriptor));
        pipes.push_back(pipe);
      }
    }
    break;
  }
  return pipes;
}

std::string PortPath::text() const {
  std::string out = std::to_string(controller);
  for (std::size_t i = 0; i < ports.size(); ++i) out += (i == 0 ? "-" : ".") + std::to_string(ports[i]);
  return out;
}

bool parse_port_path(const std::string& text, PortPath& path) {
  PortPath parsed;
  std::size_t at = 0;
  auto number = [&](int& value) {
    const std::size_t start = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 4) ++at;
    if (at == start || (at < text.size() && text[at] >= '0' && text[at] <= '9')) return false;
    value = std::atoi(text.substr(start, at - start).c_str());
    return value >= 1 && value <= 255;
  };
  if (!number(parsed.controller) || at >= text.size() || text[at] != '-') return false;
  do {
    ++at;
    int port = 0;
    if (!number(port)) return false;
    parsed.ports.push_back(port);
  } while (at < text.size() && text[at] == '.');
  if (at != text.size()) return false;
  path = parsed;
  return true;
}

namespace {

void visit_hub(const Hub& hub, PortPath& path, const std::function<void(const Device&, const PortPath&)>& visit) {
  for (std::size_t i = 0; i < hub.ports.size(); ++i) {
    const Device* device = hub.ports[i].get();
    if (!device) continue;
    path.ports.push_back(static_cast<int>(i + 1));
    visit(*device, path);
    if (device->hub) visit_hub(*device->hub, path, visit);
    path.ports.pop_back();
  }
}

}  // namespace

void for_each_device(const Machine& machine, const std::function<void(const Device&, const PortPath&)>& visit) {
  for (const Controller& controller : machine.controllers) {
    PortPath path;
    path.controller = controller.index + 1;
    visit_hub(controller.root_hub, path, visit);
  }
}

Device* device_at(Machine& machine, const PortPath& path) {
  return const_cast<Device*>(device_at(static_cast<const Machine&>(machine), path));
}

const Device* device_at(const Machine& machine, const PortPath& path) {
  const Hub* hub = nullptr;
  for (const Controller& c : machine.controllers)
    if (c.index + 1 == path.controller) hub = &c.root_hub;
  const Device* device = nullptr;
  for (int port : path.ports) {
    if (!hub || port < 1 || static_cast<std::size_t>(port) > hub->ports.size()) return nullptr;
    device = hub->ports[port - 1].get();
    if (!device) return nullptr;
    hub = device->hub.get();
  }
  return device;
}

}  // namespace os::sim::usb
