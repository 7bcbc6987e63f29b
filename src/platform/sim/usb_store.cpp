#include "platform/sim/usb_store.h"

#include <sys/stat.h>

#include <mutex>

#include "platform/sim/host.h"
#include "platform/sim/state_file.h"
#include "platform/sim/usb_fixture.h"

namespace os::sim::usb {

extern const char kDefaultMachine[];

namespace {

std::string lock_path() { return sim_root() + "/machine/usb.lock"; }

void link_hub(MachineView& view, const Hub& hub, DEVINST parent) {
  for (const auto& device : hub.ports) {
    if (!device) continue;
    view.nodes[parent].children.push_back(device->node.devinst);
    view.nodes[device->node.devinst] = NodeLink{&device->node, parent, {}};
    if (device->hub) link_hub(view, *device->hub, device->node.devinst);
    for (const Disk& disk : device->disks) {
      view.nodes[device->node.devinst].children.push_back(disk.node.devinst);
      view.nodes[disk.node.devinst] = NodeLink{&disk.node, device->node.devinst, {}};
    }
  }
}

// An ejected volume has lost its drive letter: the machine's programs no longer see it.
void hide_ejected_volumes(std::vector<Disk>& disks) {
  for (Disk& disk : disks) std::erase_if(disk.volumes, [](const Volume& v) { return v.ejected; });
}

// A device its filter driver has not admitted is connected, but nothing of its storage appears.
void hide_unusable_storage(Hub& hub) {
  for (auto& device : hub.ports) {
    if (!device) continue;
    if (!device->admission.usable()) device->disks.clear();
    hide_ejected_volumes(device->disks);
    if (device->hub) hide_unusable_storage(*device->hub);
  }
}

std::shared_ptr<MachineView> make_view(Machine machine) {
  auto view = std::make_shared<MachineView>();
  view->machine = std::move(machine);
  for (Controller& c : view->machine.controllers) hide_unusable_storage(c.root_hub);
  hide_ejected_volumes(view->machine.disks);
  const Machine& m = view->machine;
  view->root = m.root.devinst;
  view->nodes[m.root.devinst] = NodeLink{&m.root, 0, {}};
  auto add = [&](const DevNode& node, DEVINST parent) {
    view->nodes[parent].children.push_back(node.devinst);
    view->nodes[node.devinst] = NodeLink{&node, parent, {}};
  };
  for (const Controller& c : m.controllers) {
    add(c.node, m.root.devinst);
    add(c.root_hub_node, c.node.devinst);
    link_hub(*view, c.root_hub, c.root_hub_node.devinst);
  }
  add(m.storage_controller, m.root.devinst);
  for (const Disk& d : m.disks) add(d.node, m.storage_controller.devinst);
  return view;
}

// The stored machine; the default one when there is no file. Throws FixtureError.
Machine load_stored() {
  const std::optional<std::string> bytes = read_state_file(machine_file_path());
  if (!bytes) throw FixtureError(machine_file_path() + ": cannot be read");
  if (bytes->empty()) return read_machine(kDefaultMachine, ".");
  return read_machine(*bytes, ".");
}

struct Cached {
  std::string path;
  struct stat st {};
  bool exists = false;
  std::shared_ptr<const MachineView> view;
};

bool same_file(const Cached& c, const std::string& path, bool exists, const struct stat& st) {
  if (!c.view || c.path != path || c.exists != exists) return false;
  return !exists || (c.st.st_ino == st.st_ino && c.st.st_dev == st.st_dev && c.st.st_size == st.st_size &&
                     c.st.st_mtim.tv_sec == st.st_mtim.tv_sec && c.st.st_mtim.tv_nsec == st.st_mtim.tv_nsec);
}

}  // namespace

std::string machine_file_path() { return sim_root() + "/machine/usb.json"; }

std::shared_ptr<const MachineView> current_machine(std::string* error) {
  static std::mutex mutex;
  static Cached cached;
  const std::string path = machine_file_path();
  StateLock lock(lock_path(), false);
  if (!lock.held()) {
    if (error) *error = lock_path() + ": cannot be locked";
    return nullptr;
  }
  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  std::lock_guard<std::mutex> guard(mutex);
  if (same_file(cached, path, exists, st)) return cached.view;
  try {
    cached = Cached{path, st, exists, make_view(load_stored())};
  } catch (const FixtureError& e) {
    if (error) *error = e.what();
    return nullptr;
  }
  return cached.view;
}

std::string change_machine(const std::function<bool(Machine&)>& body) {
  StateLock lock(lock_path(), true);
  if (!lock.held()) return lock_path() + ": cannot be locked";
  try {
    Machine machine = load_stored();
    if (!body(machine)) return {};
    const DWORD stored = replace_state_file(machine_file_path(), write_machine(machine));
    if (stored != ERROR_SUCCESS) return machine_file_path() + ": cannot be written (error " + std::to_string(stored) + ")";
  } catch (const FixtureError& e) {
    return e.what();
  }
  return {};
}

std::string replace_machine(const Machine& machine) {
  StateLock lock(lock_path(), true);
  if (!lock.held()) return lock_path() + ": cannot be locked";
  const DWORD stored = replace_state_file(machine_file_path(), write_machine(machine));
  if (stored != ERROR_SUCCESS) return machine_file_path() + ": cannot be written (error " + std::to_string(stored) + ")";
  return {};
}

}  // namespace os::sim::usb
