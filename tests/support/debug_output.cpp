#include "support/debug_output.h"

#include <algorithm>
#include <thread>

#include "support/sim_root.h"
#include "text/utf.h"

namespace testing_support {

DebugOutput::DebugOutput(const std::string& scratch_dir) { start(scratch_dir); }

DebugOutput::~DebugOutput() { finish(); }

std::string DebugOutput::captured() const {
  sync();
  return read();
}

std::vector<std::u16string> DebugOutput::lines() const { return split_lines(text::from_utf8(captured())); }

std::string DebugOutput::read() const {
  const std::string bytes = read_native_file(file_);
  // A file that shrank was started afresh: all of it is new.
  std::string fresh = bytes.substr(bytes.size() >= offset_ ? offset_ : 0);
  if (sync_prefix_.empty()) return fresh;
  const std::string marker = text::to_utf8(sync_prefix_);
  std::string kept;
  for (std::size_t start = 0; start < fresh.size();) {
    const std::size_t end = std::min(fresh.find('\n', start), fresh.size() - 1) + 1;
    if (fresh.compare(start, marker.size(), marker) != 0) kept.append(fresh, start, end - start);
    start = end;
  }
  return kept;
}

bool DebugOutput::wait_for_line(std::u16string_view fragment, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    for (const auto& line : split_lines(text::from_utf8(read()))) {
      if (line.find(fragment) != std::u16string::npos) return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::vector<std::u16string> DebugOutput::stop() {
  finish();
  return split_lines(text::from_utf8(read()));
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

std::vector<std::string> utf8_lines(const std::vector<std::u16string>& lines) {
  std::vector<std::string> converted;
  for (const std::u16string& line : lines) converted.push_back(text::to_utf8(line));
  return converted;
}

std::size_t find_line(const std::vector<std::string>& lines, std::string_view text, std::size_t from) {
  for (std::size_t i = from; i < lines.size(); ++i) {
    if (lines[i].find(text) != std::string::npos) return i;
  }
  return std::string::npos;
}

}  // namespace testing_support
