// Starting a real Linux process for ShellExecuteExW: fork and exec, with the failure of the exec
// (or of changing into the working folder) sent back to the parent through a close-on-exec pipe,
// so a missing program is an error of the call and not a child that exits at once.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/os.h"
#include "platform/sim/posix_fd.h"

namespace os::sim {

struct SpawnRequest {
  std::string program;                // Linux path of the executable
  std::vector<std::string> arguments; // argv, argv[0] included
  std::string working_folder;         // Linux path; empty: this process's own
  std::string command_line;           // the Windows command line (UTF-8) the child's GetCommandLineW gives
};

struct Spawned {
  pid_t pid = -1;
  UniqueFd pidfd;
  DWORD error = ERROR_SUCCESS;  // ERROR_DIRECTORY for the working folder, else the exec's failure
};

// The child gets this process's environment with VOSTUSB_SIM_CMDLINE="<child pid>:<command line>"
// (the pid tells a program whether the variable was meant for it or inherited from its parent), its
// signal dispositions and mask reset, and no descriptors but the standard three.
Spawned spawn_process(const SpawnRequest& request);

}  // namespace os::sim
