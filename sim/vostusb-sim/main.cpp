// vostusb-sim: inspect and drive the simulated Windows machine that the Linux build runs on.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"

namespace {

struct Command {
  const char* name;
  int (*run)(const sim_cli::Args&);
};

const Command kCommands[] = {
    {"root", sim_cli::cmd_root}, {"reg", sim_cli::cmd_reg},   {"log", sim_cli::cmd_log},
    {"reset", sim_cli::cmd_reset}, {"boot", sim_cli::cmd_boot}, {"machine", sim_cli::cmd_machine},
    {"plug", sim_cli::cmd_plug},   {"unplug", sim_cli::cmd_unplug}, {"up", sim_cli::cmd_up},
    {"shutdown", sim_cli::cmd_shutdown}, {"services", sim_cli::cmd_services}, {"driver", sim_cli::cmd_driver},
};

const char kUsage[] =
    "usage: vostusb-sim COMMAND [ARGS]\n"
    "\n"
    "The machine's state lives in its sim root: VOSTUSB_SIM_ROOT, by default $HOME/.vostusb-sim.\n"
    "\n"
    "commands:\n"
    "  root                           print the sim root\n"
    "  reg show [KEY]                 keys and values below KEY (default: HKLM), with types and data\n"
    "  reg set KEY NAME TYPE VALUE    set a value; TYPE is sz, expand_sz or dword (decimal or 0x...);\n"
    "                                 strings are stored with their terminator; NAME \"\" is the default value\n"
    "  reg delete KEY [NAME]          delete a value, or KEY with everything below it\n"
    "  log [--follow]                 print the debugger output (debug.log); --follow waits for more\n"
    "                                 lines until interrupted\n"
    "  reset                          delete the machine's state (stop its programs first)\n"
    "  boot [--uptime MS]             start the machine's clock again, as if started MS ago (default 0)\n"
    "  machine load FIXTURE           replace the machine's USB hardware with a machine fixture\n"
    "                                 (format: docs/sim-usb-fixtures.md); a fresh machine has the default\n"
    "                                 desktop (sim/fixtures/machines/desktop.json)\n"
    "  machine show                   controllers, ports, devices and volumes of the machine, with each\n"
    "                                 device's state (admitted, blocked, waiting) and where its verdict\n"
    "                                 came from; a device that is not admitted has its volumes hidden\n"
    "  plug [--wait] PORT FIXTURE     connect the device of a device fixture at PORT (must be empty) and\n"
    "                                 hand it (and what is behind it) to the VostUsb driver; returns once\n"
    "                                 each new device is decided or waits for the guard; --wait waits for\n"
    "                                 every verdict and prints \"PORT admitted|blocked WHY\" per device\n"
    "  unplug PORT                    disconnect the device at PORT with everything behind it\n"
    "  up                             start the machine's kernel (the daemon that runs its services and\n"
    "                                 drivers); the first call that needs it also starts it\n"
    "  shutdown                       end the machine's kernel: services stop, their programs end\n"
    "  services                       the services: name, type, start type, state and image path\n"
    "  driver                         the VostUsb driver's state (user test, options, accepted lists)\n"
    "\n"
    "PORT is a path like 1-2.4: the controller (1 for \\\\.\\HCD0), its root port, then hub ports.\n"
    "KEY is written HKLM\\Software\\kavenor or HKEY_LOCAL_MACHINE\\Software\\kavenor.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return sim_cli::kBadInput;
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  for (const Command& c : kCommands) {
    if (std::strcmp(argv[1], c.name) == 0) return c.run(sim_cli::Args(argv + 2, argv + argc));
  }
  return sim_cli::fail(sim_cli::kBadInput, std::string("unknown command '") + argv[1] + "' (see --help)");
}
