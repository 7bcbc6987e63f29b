// Plugging as the machine's kernel sees it: `vostusb-sim plug` hands over the devices it connected
// (the top device and everything behind it, each with its device document), and the kernel offers
// each to the VostUsb driver, hub first: the devices behind a hub are offered, all at once, only
// once the hub is admitted; behind a blocked hub they stay blocked ("hub blocked"). Each verdict is
// written into the machine's hardware file as it comes, so `vostusb-sim machine show` follows.
//
// The request: {"plug", count, then per device: port, instance id, "hub"|"device", parent index
// ("-" for the top device), text, header size ("" for the text's own), "nul"|"", "void"|""}.
// The kernel answers {0} once it has the devices, and {0, "PORT VERDICT BY"...} once every verdict
// is in (the caller may have gone by then). An unplugged port ("unplugged", port) withdraws the
// requests of the devices at and behind it.
#pragma once

#include "machine.h"
#include "platform/sim/machine_link.h"

namespace machined {

void serve_plug(Machine& machine, int fd, const os::sim::machine::Message& first);
void serve_unplugged(Machine& machine, int fd, const os::sim::machine::Message& first);

}  // namespace machined
