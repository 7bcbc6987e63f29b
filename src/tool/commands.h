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
int cmd_json(const Args& args);
// `json --library FILE`: LoadFromFile, then the compact text (exit 0) or "<code>: <message>" (exit 1).
int json_library(const std::string& path);
int cmd_config(const Args& args);
int cmd_checksum(const Args& args);
int cmd_decide(const Args& args);
// `devices [--json]`: one line per connected USB device, or the library's list text.
int cmd_devices(const Args& args);
int cmd_driver(const Args& args);

}  // namespace tool
