// The command listener of service mode: channel "default" answers "1" to "cfg", "stop" and
// "uninstall" (case as written, whole text) and "" to anything else. "stop" and "uninstall" are
// carried out only for an asker that runs as the system account or as an administrator, judged
// from the pipe itself; "cfg" is open to every asker.
#pragma once

#include <string>

#include "platform/os.h"

// Thread procedure: serves channel "default" until the process ends; `param` is not used. When
// the pipe's name is taken already, it writes a diagnostic line, asks service mode to end and
// returns.
UINT thread_communication_default(void* param);

// The command table of channel "default", for an asker allowed every command.
std::u16string default_command_handler(unsigned long pid, const std::u16string& question);

// The text handler of channel "default": `client` is the asker's process id as the pipe tells it.
// "stop" and "uninstall" from a client that is not privileged are answered "" and change nothing.
std::u16string guarded_command_handler(DWORD client, unsigned long pid, const std::u16string& question);
