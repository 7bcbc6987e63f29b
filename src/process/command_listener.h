// The command listener of service mode: channel "default" answers "1" to "cfg", "stop" and
// "uninstall" (case as written, whole text) and "" to anything else.
#pragma once

#include <string>

#include "platform/os.h"

// Thread procedure: serves channel "default" until the process ends; `param` is not used.
UINT thread_communication_default(void* param);

// The text handler of channel "default".
std::u16string default_command_handler(unsigned long pid, const std::u16string& question);
