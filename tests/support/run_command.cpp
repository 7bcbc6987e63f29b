#include "support/run_command.h"

#include <cstdlib>
#include <filesystem>

#include "support/sim_root.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace testing_support {

namespace fs = std::filesystem;

namespace {

// Quotes one argument for the shell that std::system uses.
std::string quote(const std::string& arg) {
#ifdef _WIN32
  // Only where cmd would split the argument: a program sees its arguments as they were given (the
  // guard reads its switches from the raw command line, quotes included).
  if (!arg.empty() && arg.find_first_of(" \t&|<>^()") == std::string::npos) return arg;
  return "\"" + arg + "\"";
#else
  std::string q = "'";
  for (char c : arg) {
    if (c == '\'') {
      q += "'\\''";
    } else {
      q += c;
    }
  }
  return q + "'";
#endif
}

}  // namespace

CommandResult run_built(const std::string& program, const std::vector<std::string>& args, const std::string& scratch) {
#ifdef _WIN32
  const std::string exe = (fs::path(VOSTUSB_BIN_DIR) / (program + ".exe")).string();
#else
  const std::string exe = (fs::path(VOSTUSB_BIN_DIR) / program).string();
#endif
  const std::string out_file = (fs::path(scratch) / "command.out").string();
  const std::string err_file = (fs::path(scratch) / "command.err").string();
  std::string command = quote(exe);
  for (const std::string& arg : args) command += " " + quote(arg);
  command += " >" + quote(out_file) + " 2>" + quote(err_file);
#ifdef _WIN32
  command = "\"" + command + "\"";  // cmd /c keeps the outer quotes' content as it stands
#endif
  CommandResult result;
  const int raw = std::system(command.c_str());
#ifdef _WIN32
  result.status = raw;
#else
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
  result.out = read_native_file(out_file);
  result.err = read_native_file(err_file);
  return result;
}

std::vector<std::string> lines_of(const std::string& out) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) lines.push_back(out.substr(start, end - start));
  return lines;
}

std::vector<std::string> lines_starting(const std::vector<std::string>& lines, const std::string& prefix) {
  std::vector<std::string> found;
  for (const auto& line : lines) {
    if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line);
  }
  return found;
}

}  // namespace testing_support
