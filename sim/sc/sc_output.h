// What sc.exe prints: the result lines of each operation and a service's status block, in the
// layout of the Windows tool (lines end with a line feed on the simulated machine).
#pragma once

#include <string>

#include "platform/os.h"

namespace sc {

// "[SC] <what> SUCCESS"
std::string success_line(const std::string& what);
// "[SC] <what> FAILED <code>:", a blank line, the system's text for the code, a blank line.
std::string failure_block(const std::string& what, DWORD code);
// The system's message text for the codes the service manager gives.
std::string message_text(DWORD code);
// A blank line, "SERVICE_NAME: <name>" and the status fields; PID and FLAGS with `with_process`.
std::string status_block(const std::string& name, const SERVICE_STATUS_PROCESS& status, bool with_process);

}  // namespace sc
