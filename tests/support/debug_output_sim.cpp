// The simulated host appends every debugger-output text to <sim root>/debug.log as it is written,
// so capturing is reading what the file gains; nothing has to start or stop.
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "support/debug_output.h"

namespace testing_support {

namespace {

// The host's own rule: VOSTUSB_SIM_ROOT, by default $HOME/.vostusb-sim.
std::filesystem::path sim_root() {
  if (const char* root = std::getenv("VOSTUSB_SIM_ROOT"); root != nullptr && *root != '\0') return root;
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr ? home : "") / ".vostusb-sim";
}

}  // namespace

void DebugOutput::start(const std::string&) {
  file_ = (sim_root() / "debug.log").string();
  std::error_code missing;
  const auto size = std::filesystem::file_size(file_, missing);
  offset_ = missing ? 0 : static_cast<std::size_t>(size);
}

void DebugOutput::finish() {}

}  // namespace testing_support
