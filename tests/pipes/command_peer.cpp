// The command listener of service mode in a process of its own.
//   command_peer <pid file> <flags file>
// writes its process id to the pid file, starts the listener thread of channel "default", and
// writes "<stop_requested> <uninstall_requested>" to the flags file whenever they change. It ends
// after ten minutes at the latest.
#include <cstdlib>
#include <string>

#include "peer_report.h"
#include "platform/os.h"
#include "process/command_listener.h"
#include "process/run_state.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  g_thread_group.Start(thread_communication_default, nullptr);
  std::string written;
  for (int tick = 0; tick < 60000; ++tick) {
    const std::string flags = std::to_string(stop_requested.load()) + " " + std::to_string(uninstall_requested.load());
    if (flags != written) {
      pipe_test::write_report(argv[2], flags);
      written = flags;
    }
    if (tick == 0) pipe_test::write_report(argv[1], std::to_string(os::GetCurrentProcessId()) + "\n");
    os::Sleep(10);
  }
  std::_Exit(0);  // the listener thread ends with the process, as in the guard
}
