// The running program's path and command line, in the Windows form the product expects.
#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "platform/os.h"
#include "platform/sim/errors.h"
#include "platform/sim/host.h"
#include "text/utf.h"

namespace os {

namespace {

std::string executable_path() {
  std::string path(PATH_MAX, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0) return {};
  path.resize(static_cast<std::size_t>(n));
  return path;
}

std::vector<std::string> arguments() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> args;
  std::size_t start = 0;
  while (start < all.size()) {
    const std::size_t end = all.find('\0', start);
    args.push_back(all.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return args;
}

// argv[0] as an absolute path: a name found on PATH is the executable itself.
std::string program_as_started(const std::string& argv0) {
  if (argv0.find('/') == std::string::npos) return executable_path();
  std::error_code ignored;
  return std::filesystem::absolute(argv0, ignored).lexically_normal().string();
}

// A process started by the simulated ShellExecuteExW carries its exact Windows command line in
// VOSTUSB_SIM_CMDLINE as "<pid>:<text>"; the pid keeps the text from reaching its children.
bool handed_over_command_line(std::u16string& out) {
  const char* value = std::getenv("VOSTUSB_SIM_CMDLINE");
  if (!value) return false;
  const std::string text(value);
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos || text.substr(0, colon) != std::to_string(::getpid())) return false;
  out = text::from_utf8(text.substr(colon + 1));
  return true;
}

std::u16string build_command_line() {
  std::u16string line;
  if (handed_over_command_line(line)) return line;
  const std::vector<std::string> args = arguments();
  const std::string program = program_as_started(args.empty() ? std::string() : args[0]);
  line = u"\"" + sim::to_windows_path(program) + u"\"";
  // The other arguments go in as they stand: a Windows program receives its command line
  // unparsed, so no quoting is added or removed.
  for (std::size_t i = 1; i < args.size(); ++i) line += u" " + text::from_utf8(args[i]);
  return line;
}

}  // namespace

DWORD GetModuleFileNameW(HMODULE module, char16_t* buffer, DWORD size) {
  if (module) return sim::fail(ERROR_MOD_NOT_FOUND);  // the simulated host loads no modules
  const std::string exe = executable_path();
  if (exe.empty()) return sim::fail(ERROR_FILE_NOT_FOUND);
  const std::u16string path = sim::to_windows_path(exe);
  if (size == 0 || !buffer) return sim::fail(ERROR_INSUFFICIENT_BUFFER);
  if (path.size() >= size) {
    // Win32 truncates to the buffer, terminates it and returns its size.
    path.copy(buffer, size - 1);
    buffer[size - 1] = 0;
    os::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  path.copy(buffer, path.size());
  buffer[path.size()] = 0;
  os::SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(path.size());
}

const char16_t* GetCommandLineW() {
  static std::once_flag once;
  static std::u16string* line = nullptr;
  std::call_once(once, [] { line = new std::u16string(build_command_line()); });  // kept to the end
  return line->c_str();
}

}  // namespace os
