// The handlers of the pipe_peer helper program, by mode name.
#pragma once

#include <string>

#include "pipes/commp.h"

namespace pipe_test {

// Sets the handler of `mode` on the listener; false for an unknown mode.
bool set_handler(class_commp& listener, const std::string& mode);

// Serves "\\.\pipe\<name>" without the protocol: every message that arrives is written back on
// the same connection, one client after another. Never returns.
[[noreturn]] void serve_bare(const std::u16string& name);

}  // namespace pipe_test
