// The debugger output of the machine's processes (their diagnostic lines), read through one API on
// both builds. Every OutputDebugStringW text is a line of its own (as a debug viewer shows it); a
// text with line ends inside gives several. On the simulated host the texts are appended to
// <sim root>/debug.log, so this reads what that file gains. Under Windows a capture program
// (dbwin-capture.exe) receives the texts as a debug viewer does and appends them, the same way, to
// a file in the scratch folder. There the texts pass through the ANSI code page on their way, as they do for any
// debug viewer, so characters outside it arrive changed ("ł" as "l" or "?").
//
// Under Windows (Wine) one viewer serves the whole machine and sees every process's output; the
// tests there run one at a time (cmake/VostusbTest.cmake).
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "platform/handle.h"

namespace testing_support {

class DebugOutput {
 public:
  // Starts capturing: what is written from now on is kept. `scratch_dir` is a native folder for
  // the capture file (FreshHost::native_dir()); the simulated host does not need it.
  explicit DebugOutput(const std::string& scratch_dir);
  ~DebugOutput();
  DebugOutput(const DebugOutput&) = delete;
  DebugOutput& operator=(const DebugOutput&) = delete;

  // Why capturing could not start; empty when it runs. A test should assert that it is empty.
  const std::string& error() const { return error_; }

  // Everything written before this call, as UTF-8, each text ending in a line feed.
  std::string captured() const;

  // The same as lines, in order of arrival, without their "\r\n" or "\n".
  std::vector<std::u16string> lines() const;

  // Waits until a captured line contains `fragment`; false when `timeout` passes first.
  bool wait_for_line(std::u16string_view fragment,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

  // Ends capturing once everything written before this call has arrived, and returns every line.
  std::vector<std::u16string> stop();

 private:
  // Per build (debug_output_sim.cpp, debug_output_win32.cpp).
  void start(const std::string& scratch_dir);
  void finish();
  // Returns once everything written before the call is in the file.
  void sync() const;
  // The file's new part, without what sync() added to it.
  std::string read() const;

  std::string file_;        // the native file the texts land in
  std::size_t offset_ = 0;  // where this capture's texts begin in it
  std::string error_;
  os::unique_handle capture_;   // Windows: the capture program
  std::u16string stop_text_;    // Windows: the text that ends it
  std::u16string sync_prefix_;  // Windows: begins the texts that sync() writes
  mutable unsigned syncs_ = 0;
};

// Splits captured texts into lines as DebugOutput::lines() does.
std::vector<std::u16string> split_lines(std::u16string_view texts);

// Captured lines as UTF-8.
std::vector<std::string> utf8_lines(const std::vector<std::u16string>& lines);

// The index of the first line at or after `from` that contains `text`, or npos.
std::size_t find_line(const std::vector<std::string>& lines, std::string_view text, std::size_t from = 0);

}  // namespace testing_support
