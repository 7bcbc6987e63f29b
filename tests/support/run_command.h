// Runs a built program of this project as a real child process and collects what it printed.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct CommandResult {
  int status = -1;
  std::string out;  // standard output, bytes exactly
  std::string err;  // standard error
};

// Runs `program` (a file name in the build's bin folder, without ".exe") with `args`, each passed as
// one argument, waits for it and returns its exit status and output. `scratch` is a folder for the
// captured streams.
CommandResult run_built(const std::string& program, const std::vector<std::string>& args, const std::string& scratch);

// The lines of a program's output, each without its line feed (a last line without one is left out).
std::vector<std::string> lines_of(const std::string& out);
// The lines that begin with `prefix`, in order.
std::vector<std::string> lines_starting(const std::vector<std::string>& lines, const std::string& prefix);

}  // namespace testing_support
