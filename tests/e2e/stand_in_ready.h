// A stand-in program of the suite (the monitor or the tray), started by a test, made sure of.
#pragma once

#include <chrono>
#include <string>

#include "support/debug_output.h"

namespace e2e_test {

// Waits until `program` says in `lines` that it listens on `channel`, and checks that it is the
// only process of its name on this host: the guard and the tool find processes by name among all
// of the host's processes, whichever simulated machine they belong to, and would ask another
// machine's stand-in instead. "" when the stand-in is ready, otherwise what is wrong.
std::string wait_for_stand_in(const testing_support::DebugOutput& lines, const std::u16string& program,
                              const std::u16string& channel, std::chrono::seconds bound);

}  // namespace e2e_test
