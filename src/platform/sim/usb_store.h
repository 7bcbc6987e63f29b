// The machine file (<sim root>/machine/usb.json) as the platform calls see it: read under a shared
// lock on <sim root>/machine/usb.lock, kept while the file is unchanged, with an index of the Plug
// and Play tree. Changes (the sim CLI's machine load, plug, unplug; volume locks) take the lock
// exclusively and replace the file.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/usb_machine.h"

namespace os::sim::usb {

std::string machine_file_path();

struct NodeLink {
  const DevNode* node = nullptr;
  DEVINST parent = 0;  // 0 for the root
  std::vector<DEVINST> children;
};

struct MachineView {
  Machine machine;
  std::map<DEVINST, NodeLink> nodes;
  DEVINST root = 0;
};

// The current machine as the machine's programs see it: the default machine when no file exists,
// and without the disks of devices that the filter driver has not admitted. Null (with the reason in `error`
// when given) when the file cannot be read or is not a valid machine.
std::shared_ptr<const MachineView> current_machine(std::string* error = nullptr);

// Runs `body` on the stored machine under the exclusive lock and stores the machine when `body`
// returns true. Returns an empty text on success, else why nothing changed (FixtureError messages
// from `body` included).
std::string change_machine(const std::function<bool(Machine&)>& body);

// Stores `machine` in place of whatever is stored (also of a damaged file).
std::string replace_machine(const Machine& machine);

}  // namespace os::sim::usb
