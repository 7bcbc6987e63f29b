// The link between a process of the simulated machine and the machine daemon (sim/machined), the
// machine's kernel: it runs the service control manager and the loaded drivers. The daemon listens
// on the abstract socket "vostusb-machine-" + hex SHA-256 of the sim root's real path, and is
// started on demand by the first call that needs it.
//
// Every message, both ways, is a 4-byte little-endian length and that many bytes: a list of fields,
// each a 4-byte little-endian length and its bytes. Numbers travel as decimal text, names as UTF-8,
// device buffers as raw bytes. A connection starts with a request naming its role (a manager or
// service handle, a device handle, a notification channel, a tool's query); the protocol is
// internal and may change with the daemon.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/os.h"
#include "platform/sim/posix_fd.h"

namespace os::sim::machine {

using Message = std::vector<std::string>;

// The daemon's executable, beside the calling program's unless VOSTUSB_SIM_MACHINED names it.
inline constexpr const char* kDaemonName = "vostusb-machine";

// What a caller sees when the daemon is gone: the service manager's RPC server is unavailable.
inline constexpr DWORD kDaemonGone = RPC_S_SERVER_UNAVAILABLE;

std::string socket_name();

std::string encode(const Message& message);
bool decode(std::string_view bytes, Message& message);
// Whole messages on a blocking socket; false when the peer is gone or the data is malformed.
bool send_message(int fd, const Message& message);
bool receive_message(int fd, Message& message);

std::string number(unsigned long long value);
// A decimal field; `fallback` for anything else.
unsigned long long to_number(std::string_view field, unsigned long long fallback = 0);

// A new connection to the daemon: ERROR_SUCCESS with `fd` set, or kDaemonGone. With
// `start_if_needed` a missing daemon is started first.
DWORD connect(UniqueFd& fd, bool start_if_needed = true);

// One request and its answer on a connection: ERROR_SUCCESS, or kDaemonGone when the daemon went
// away (a call never waits on a daemon that was killed).
DWORD call(int fd, const Message& request, Message& reply);

// Whether this machine's daemon is running, and ending it (waits until it is gone; true when no
// daemon runs afterwards).
bool daemon_running();
bool shutdown_daemon();

}  // namespace os::sim::machine
