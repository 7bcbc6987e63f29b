// The capture program's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace dbwin_capture {

struct Arguments {
  std::u16string output_file;
  // Ends the capture when a text equal to it arrives (it is not written).
  std::optional<std::u16string> stop_text;
};

// From the program's arguments (without the program name); empty on a malformed command line.
std::optional<Arguments> parse_arguments(const std::vector<std::u16string>& args);

extern const char kUsage[];

}  // namespace dbwin_capture
