// root, reset and boot: the machine as a whole.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "commands.h"
#include "platform/sim/host.h"
#include "platform/sim/machine_clock.h"
#include "platform/sim/machine_link.h"
#include "platform/sim/paths.h"

namespace sim_cli {

namespace {

namespace fs = std::filesystem;

bool parse_milliseconds(const std::string& text, std::uint64_t& value) {
  if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  value = std::stoull(text);
  return true;
}

}  // namespace

int cmd_root(const Args& args) {
  if (!args.empty()) return fail(kBadInput, "root takes no arguments");
  std::printf("%s\n", os::sim::sim_root().c_str());
  return 0;
}

int cmd_reset(const Args& args) {
  if (!args.empty()) return fail(kBadInput, "reset takes no arguments");
  const std::string root = os::sim::sim_root();
  std::error_code error;
  // Only a folder that the simulated host made for itself is deleted.
  if (!fs::exists(fs::path(root) / os::sim::kMachineMarker, error)) {
    return fail(kRefused, root + " is not a simulated machine's root (no " + os::sim::kMachineMarker + " in it); nothing deleted");
  }
  os::sim::machine::shutdown_daemon();  // its programs end with it
  fs::remove_all(root, error);
  if (error) return fail(kRefused, "cannot delete " + root + ": " + error.message());
  std::printf("reset %s\n", root.c_str());
  return 0;
}

int cmd_boot(const Args& args) {
  std::uint64_t uptime = 0;
  if (args.size() == 2 && args[0] == "--uptime") {
    if (!parse_milliseconds(args[1], uptime)) return fail(kBadInput, "--uptime takes milliseconds, not '" + args[1] + "'");
  } else if (!args.empty()) {
    return fail(kBadInput, "usage: boot [--uptime MS]");
  }
  // A new start: the kernel's run states (services, drivers) begin again.
  if (!os::sim::machine::shutdown_daemon()) return fail(kRefused, "the machine daemon does not end");
  if (!os::sim::restart_machine_clock(uptime)) return fail(kRefused, "cannot write the machine's clock");
  return 0;
}

}  // namespace sim_cli
