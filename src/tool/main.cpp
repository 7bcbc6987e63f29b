// vostrelusb-tool: how the guard reads its files and documents, for administrators and support.
#include <cstdio>
#include <cstring>
#include <string>

#include "tool/commands.h"

namespace {

struct Command {
  const char* name;
  const char* usage;
  int (*run)(const tool::Args&);
};

const Command kCommands[] = {
    {"data", "data FILE            decoded text of a data file (plain or scrambled), as UTF-8", tool::cmd_data},
    {"scramble", "scramble IN OUT      store IN scrambled as OUT, as the suite stores its data files", tool::cmd_scramble},
    {"json", "json --process [--wide-numbers] FILE\n"
             "                       FILE parsed and written back as the guard's documents are (UTF-8)\n"
             "  json --library FILE  FILE loaded and written back by the driver control library, or its error", tool::cmd_json},
    {"config", "config               load the configuration as the guard does (monitor, then file); show settings and rules",
     tool::cmd_config},
    {"checksum", "checksum FILE        a device text's checksum and device document, as the guard builds them", tool::cmd_checksum},
    {"decide", "decide FILE          load the configuration as the guard does; the verdict of the rules on a device text\n"
               "                       (0, 1 or 65535) and the rule that gave it (\"config_rules 3\", or \"-\")", tool::cmd_decide},
    {"devices", "devices [--json]     the USB devices connected now, one per line: port path, VID:PID,\n"
                "                       manufacturer|product|serial|class|description, drive letters, checksum, and the\n"
                "                       verdict of the rules with the rule that gave it; --json: the library's list text",
     tool::cmd_devices},
    {"driver", "driver status|install|start|stop|uninstall|hubs on|off|cache 0-3\n"
               "                       manage the VostUsb filter driver as the guard does: its service, the hubs option\n"
               "                       and the files-and-cache mode (driver and configuration file); status shows the\n"
               "                       service's state, its registry values and the validated configuration file",
     tool::cmd_driver},
};

void print_help(std::FILE* out) {
  std::fprintf(out, "usage: vostrelusb-tool COMMAND [ARGS]\n\ncommands:\n");
  for (const Command& c : kCommands) std::fprintf(out, "  %s\n", c.usage);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    print_help(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  for (const Command& c : kCommands) {
    if (std::strcmp(argv[1], c.name) == 0) return c.run(tool::Args(argv + 2, argv + argc));
  }
  std::fprintf(stderr, "vostrelusb-tool: unknown command '%s' (see --help)\n", argv[1]);
  return 2;
}
