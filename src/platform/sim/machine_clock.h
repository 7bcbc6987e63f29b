// The simulated machine's clock: the moment the machine started, kept in
// <sim root>/machine/boot_time so that every process of the machine counts from it.
//
// The file holds the Linux boot id and the start as milliseconds of CLOCK_BOOTTIME (which counts
// suspended time too, as Windows' tick count does). A file from an earlier Linux boot means the
// machine has been restarted since: it starts again at its first use.
#pragma once

#include <cstdint>

namespace os::sim {

// Milliseconds since the machine started (starting it now if it has not started yet).
std::uint64_t machine_uptime_ms();

// Starts the machine's clock again, as if it had started `uptime_ms` ago. False when the file
// cannot be written.
bool restart_machine_clock(std::uint64_t uptime_ms);

}  // namespace os::sim
