// vostusb-machine: the kernel of one simulated machine (its sim root). Started on demand by the
// platform layer (platform/sim/machine_link.h) or by `vostusb-sim up`; one per machine, since its
// abstract socket name comes from the sim root. It ends with `vostusb-sim shutdown`, or when its
// sim root disappears.
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <thread>

#include "machine.h"
#include "platform/sim/abstract_socket.h"
#include "platform/sim/machine_link.h"
#include "platform/sim/posix_fd.h"

namespace {

constexpr int kRootCheckMs = 250;

bool root_exists(const std::string& root) {
  struct stat info;
  return ::stat(root.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

int main() {
  ::signal(SIGPIPE, SIG_IGN);
  const std::string root = os::sim::canonical_root();
  os::sim::UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!listener) return 1;
  sockaddr_un address;
  const socklen_t length = os::sim::abstract_address(os::sim::machine::socket_name(), address);
  if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), length) != 0) {
    return errno == EADDRINUSE ? 0 : 1;  // this machine's daemon already runs
  }
  if (::listen(listener.get(), 64) != 0) return 1;
  // For the machine's tools and tests: which process is this machine's kernel.
  ::mkdir((root + "/machine").c_str(), 0777);
  if (FILE* pid_file = std::fopen((root + "/machine/kernel.pid").c_str(), "w")) {
    std::fprintf(pid_file, "%d\n", static_cast<int>(::getpid()));
    std::fclose(pid_file);
  }

  auto* machine = new machined::Machine;  // lives until the process ends; threads may still use it
  for (;;) {
    pollfd p{listener.get(), POLLIN, 0};
    const int ready = ::poll(&p, 1, kRootCheckMs);
    if (!root_exists(root)) {
      std::unique_lock lock(machine->mutex);
      machine->services.end_programs();
      std::_Exit(0);
    }
    if (ready <= 0) {
      std::unique_lock lock(machine->mutex);
      machine->services.reap();
      continue;
    }
    const int client = ::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    ucred peer{};
    socklen_t peer_size = sizeof peer;
    if (::getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &peer_size) != 0) {
      ::close(client);
      continue;
    }
    std::thread([machine, client, uid = peer.uid] {
      os::sim::UniqueFd owned(client);
      machined::serve(*machine, owned.get(), uid);
    }).detach();
  }
}
