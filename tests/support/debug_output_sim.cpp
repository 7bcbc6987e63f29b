// The simulated host appends every debugger-output text to <sim root>/debug.log as it is written,
// so capturing is reading what the file gains; nothing has to start or stop.
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "support/debug_output.h"

namespace testing_support {

namespace {

// The host's rule (VOSTUSB_SIM_ROOT, by default $HOME/.vostusb-sim), without creating the machine
// as os::sim::sim_root() would: a test may check that its first use does that.
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

// Each text is in the file before OutputDebugStringW returns.
void DebugOutput::sync() const {}

}  // namespace testing_support
