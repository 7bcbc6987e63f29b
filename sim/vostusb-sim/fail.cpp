#include <cstdio>
#include <string>

#include "commands.h"

namespace sim_cli {

int fail(int status, const std::string& message) {
  std::fprintf(stderr, "vostusb-sim: %s\n", message.c_str());
  return status;
}

}  // namespace sim_cli
