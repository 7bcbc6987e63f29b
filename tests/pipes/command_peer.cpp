// The command listener of service mode in a process of its own.
//   command_peer <pid file> <flags file> [taken]
// writes its process id to the pid file, starts the listener thread of channel "default", and
// writes "<stop_requested> <uninstall_requested>" to the flags file whenever they change. It ends
// after ten minutes at the latest. With "taken", the pipe of channel "default" exists already
// (made here, as another server would) when the listener starts.
#include <cstdlib>
#include <string>

#include "app/command_listener.h"
#include "peer_report.h"
#include "pipes/channel_names.h"
#include "platform/handle.h"
#include "platform/os.h"
#include "process/run_state.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  os::unique_hfile taken;
  if (argc > 3 && std::string(argv[3]) == "taken") {
    const std::u16string pipe = channel_pipe_path(channel_base_name(u"default", os::GetCurrentProcessId()));
    taken.reset(os::CreateNamedPipeW(pipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_WAIT,
                                     PIPE_UNLIMITED_INSTANCES, 1024, 1024, 500, nullptr));
    if (!taken) return 3;
  }
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
