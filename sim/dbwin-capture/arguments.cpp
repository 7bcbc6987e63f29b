#include "arguments.h"

namespace dbwin_capture {

const char kUsage[] =
    "usage: dbwin-capture OUTPUT_FILE [--stop-on TEXT]\n"
    "Receives the debugger output of this session's processes, as a debug viewer does, and appends\n"
    "each text as a line of UTF-8 (adding a line end where it has none) to OUTPUT_FILE, which it\n"
    "creates empty once it listens. Runs until killed, or until a text equal to TEXT arrives.\n";

std::optional<Arguments> parse_arguments(const std::vector<std::u16string>& args) {
  Arguments parsed;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == u"--stop-on" && i + 1 < args.size() && !parsed.stop_text) {
      parsed.stop_text = args[++i];
    } else if (parsed.output_file.empty() && !args[i].empty() && !args[i].starts_with(u"--")) {
      parsed.output_file = args[i];
    } else {
      return std::nullopt;
    }
  }
  if (parsed.output_file.empty()) return std::nullopt;
  return parsed;
}

}  // namespace dbwin_capture
