// The subcommands of vostrelusb-tool. Each takes its own arguments (after the subcommand name) and
// returns the process exit status; output goes to standard output as UTF-8, a one-line error to
// standard error.
#pragma once

#include <string>
#include <vector>

namespace tool {

using Args = std::vector<std::string>;

int cmd_data(const Args& args);
int cmd_scramble(const Args& args);
int cmd_config(const Args& args);

}  // namespace tool
