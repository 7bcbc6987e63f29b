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
int cmd_checksum(const Args& args);
int cmd_decide(const Args& args);
int cmd_json(const Args& args);
// "json --library ...": the driver control library's JSON value; present when the library's JSON
// value is part of the tree (src/tool/json_library_command.cpp).
int cmd_json_library(const Args& args);

}  // namespace tool
