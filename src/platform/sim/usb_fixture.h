// USB fixtures (docs/sim-usb-fixtures.md): JSON texts for a whole machine or a single device, with
// descriptors as raw bytes or built from shorthands, properties, volumes and injected faults.
// Reading checks everything and throws FixtureError naming the place and the fault; the machine
// given is then unchanged.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "platform/sim/usb_machine.h"

namespace os::sim::usb {

class FixtureError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A machine fixture; `folder` is where device fixtures that it names ("file") are found. Every
// identifier, number and property that the fixture leaves out is assigned.
Machine read_machine(const std::string& text, const std::string& folder);

// A single-device fixture, plugged into `machine` at `path` (whose parent hub must exist and whose
// port must be empty). Identifiers are assigned so that they do not collide with the machine's.
void plug_device(Machine& machine, const PortPath& path, const std::string& text, const std::string& folder);

// Removes the device at `path` with everything behind it. False when the port is empty or unknown.
bool unplug_device(Machine& machine, const PortPath& path);

// The machine in fixture form with every value explicit; read_machine gives it back unchanged.
std::string write_machine(const Machine& machine);

}  // namespace os::sim::usb
