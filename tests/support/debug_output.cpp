#include "support/debug_output.h"

#include <thread>

#include "support/sim_root.h"
#include "text/utf.h"

namespace testing_support {

DebugOutput::DebugOutput(const std::string& scratch_dir) { start(scratch_dir); }

DebugOutput::~DebugOutput() { finish(); }

std::vector<std::u16string> DebugOutput::lines() const {
  const std::string bytes = read_native_file(file_);
  // A file that shrank was started afresh: all of it is new.
  const std::size_t from = bytes.size() >= offset_ ? offset_ : 0;
  return split_lines(text::from_utf8(std::string_view(bytes).substr(from)));
}

bool DebugOutput::wait_for_line(std::u16string_view fragment, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    for (const auto& line : lines()) {
      if (line.find(fragment) != std::u16string::npos) return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::vector<std::u16string> DebugOutput::stop() {
  finish();
  return lines();
}

std::vector<std::u16string> split_lines(std::u16string_view texts) {
  std::vector<std::u16string> result;
  while (!texts.empty()) {
    const std::size_t end = texts.find(u'\n');
    std::u16string_view line = texts.substr(0, end);
    if (end != std::u16string_view::npos && line.ends_with(u'\r')) line.remove_suffix(1);
    result.emplace_back(line);
    texts.remove_prefix(end == std::u16string_view::npos ? texts.size() : end + 1);
  }
  return result;
}

}  // namespace testing_support
