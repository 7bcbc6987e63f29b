#include "plugging.h"

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim/usb_fixture.h"
#include "platform/sim/usb_store.h"
#include "text/utf.h"

namespace machined {

namespace {

namespace usb = os::sim::usb;
using os::sim::machine::Message;
using os::sim::machine::number;
using os::sim::machine::to_number;

constexpr std::size_t kFieldsPerDevice = 8;

enum class Stage { NotOffered, Waiting, Decided };

struct Plugged {
  std::string port;
  std::string instance_id;
  long parent = -1;
  DeviceOffer offer;
  Stage stage = Stage::NotOffered;  // under the machine's lock
  std::string result;               // "PORT VERDICT BY" once decided
};

// The devices of one plug, while the kernel decides them.
struct Plug {
  Machine& machine;
  std::vector<Plugged> devices;

  // Nothing moves by itself any more: every device waits for the guard or is decided, or waits
  // behind a hub that is not decided yet. The caller of `plug` is answered then.
  bool settled() const {
    for (const Plugged& p : devices) {
      if (p.stage != Stage::NotOffered) continue;
      if (p.parent < 0 || devices[static_cast<std::size_t>(p.parent)].stage == Stage::Decided) return false;
    }
    return true;
  }
};

// The device at `port` whose instance id is `instance_id` (not a device plugged there since).
usb::Device* find_device(usb::Machine& machine, const std::string& port, const std::string& instance_id) {
  usb::PortPath path;
  usb::Device* device = usb::parse_port_path(port, path) ? usb::device_at(machine, path) : nullptr;
  return device && text::to_utf8(device->node.instance_id) == instance_id ? device : nullptr;
}

// Writes the verdict into the hardware file, then marks the device decided.
void record(Plug& plug, std::size_t index, bool admitted, const std::string& by) {
  Plugged& plugged = plug.devices[index];
  usb::change_machine([&](usb::Machine& machine) {
    usb::Device* device = find_device(machine, plugged.port, plugged.instance_id);
    if (!device) return false;  // unplugged meanwhile
    device->admission = usb::Admission{admitted ? "admitted" : "blocked", by};
    return true;
  });
  std::lock_guard lock(plug.machine.mutex);
  plugged.result = plugged.port + (admitted ? " admitted " : " blocked ") + by;
  plugged.stage = Stage::Decided;
  plug.machine.changed.notify_all();
}

// A device behind a blocked hub is never enumerated: blocked, with everything behind it.
void block_behind(Plug& plug, std::size_t index) {
  record(plug, index, false, "hub blocked");
  for (std::size_t i = 0; i < plug.devices.size(); ++i) {
    if (plug.devices[i].parent == static_cast<long>(index)) block_behind(plug, i);
  }
}

// Decides device `index`, then (a hub admitted) everything behind it at once.
void decide(Plug& plug, std::size_t index) {
  Plugged& plugged = plug.devices[index];
  Admission admission;
  {
    std::unique_lock lock(plug.machine.mutex);
    admission = plug.machine.driver.admit(plugged.offer, lock, [&] {
      plugged.stage = Stage::Waiting;
      plug.machine.changed.notify_all();
    });
  }
  const bool admitted = admission.verdict == Verdict::Accepted;
  std::vector<std::size_t> behind;
  for (std::size_t i = 0; i < plug.devices.size(); ++i) {
    if (plug.devices[i].parent == static_cast<long>(index)) behind.push_back(i);
  }
  if (admission.by == "unplugged") {  // nothing behind it is there any more
    for (std::size_t i : behind) record(plug, i, false, "unplugged");
    record(plug, index, admitted, admission.by);
    return;
  }
  if (!admitted) {
    for (std::size_t i : behind) block_behind(plug, i);
    record(plug, index, admitted, admission.by);
    return;
  }
  record(plug, index, admitted, admission.by);
  std::vector<std::thread> threads;
  for (std::size_t i : behind) threads.emplace_back([&plug, i] { decide(plug, i); });
  for (std::thread& t : threads) t.join();
}

bool read_devices(const Message& first, std::vector<Plugged>& devices) {
  if (first.size() < 2) return false;
  const std::size_t count = to_number(first[1], 0);
  if (count == 0 || first.size() != 2 + count * kFieldsPerDevice) return false;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string* f = &first[2 + i * kFieldsPerDevice];
    Plugged p;
    p.port = f[0];
    p.instance_id = f[1];
    p.offer.is_hub = f[2] == "hub";
    if (f[3] != "-") {
      p.parent = static_cast<long>(to_number(f[3], count));
      if (p.parent >= static_cast<long>(i)) return false;  // parents come first
    } else if (i != 0) {
      return false;
    }
    p.offer.text = text::from_utf8(f[4]);
    if (!f[5].empty()) p.offer.request_size = static_cast<std::uint32_t>(to_number(f[5], 0));
    p.offer.request_nul = f[6] == "nul";
    p.offer.request_void = f[7] == "void";
    p.offer.port = p.port;
    devices.push_back(std::move(p));
  }
  return true;
}

}  // namespace

void serve_plug(Machine& machine, int fd, const Message& first) {
  Plug plug{machine, {}};
  if (!read_devices(first, plug.devices)) {
    os::sim::machine::send_message(fd, {number(ERROR_INVALID_PARAMETER)});
    return;
  }
  std::thread deciding([&plug] { decide(plug, 0); });
  {
    std::unique_lock lock(machine.mutex);
    machine.changed.wait(lock, [&] { return plug.settled(); });
  }
  os::sim::machine::send_message(fd, {number(ERROR_SUCCESS)});
  deciding.join();
  Message results{number(ERROR_SUCCESS)};
  for (const Plugged& p : plug.devices) results.push_back(p.result);
  os::sim::machine::send_message(fd, results);  // fails quietly when the caller did not wait
}

void serve_unplugged(Machine& machine, int fd, const Message& first) {
  std::size_t withdrawn = 0;
  if (first.size() == 2) {
    std::unique_lock lock(machine.mutex);
    withdrawn = machine.driver.withdraw(first[1]);
  }
  os::sim::machine::send_message(fd, {number(ERROR_SUCCESS), number(withdrawn)});
}

}  // namespace machined
