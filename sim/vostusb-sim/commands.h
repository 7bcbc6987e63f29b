// The subcommands of vostusb-sim. Each returns the process's exit status: 0 for success, 1 when
// the machine refused the operation, 2 for bad input.
#pragma once

#include <string>
#include <vector>

namespace sim_cli {

using Args = std::vector<std::string>;

int cmd_root(const Args& args);
int cmd_reg(const Args& args);
int cmd_log(const Args& args);
int cmd_reset(const Args& args);
int cmd_boot(const Args& args);
int cmd_machine(const Args& args);
int cmd_plug(const Args& args);
int cmd_unplug(const Args& args);
int cmd_up(const Args& args);
int cmd_shutdown(const Args& args);
int cmd_services(const Args& args);
int cmd_driver(const Args& args);

// A file's bytes; false when it cannot be read. The folder of a path ("." without one).
bool read_text(const std::string& path, std::string& text);
std::string folder_of(const std::string& path);

// Writes "vostusb-sim: MESSAGE" as one line to standard error and returns `status`.
int fail(int status, const std::string& message);

inline constexpr int kRefused = 1;
inline constexpr int kBadInput = 2;

}  // namespace sim_cli
