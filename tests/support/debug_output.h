// The debugger output of the machine's processes (their diagnostic lines), read through one API on
// both builds. On the simulated host every OutputDebugStringW text is appended to
// <sim root>/debug.log, so this reads what that file gains. Under Windows a capture program
// (dbwin-capture.exe) receives the texts as a debug viewer does and appends them to a file in the
// scratch folder. There the texts pass through the ANSI code page on their way, as they do for any
// debug viewer, so characters outside it arrive changed ("ł" as "l" or "?").
//
// Under Windows (Wine) one viewer serves the whole machine, and it sees every process's output:
// register tests that use it MACHINE_WIDE (cmake/VostusbTest.cmake) so that they run alone.
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

  // The lines captured so far, in order of arrival, without their "\r\n" or "\n"; a last text
  // without a line end counts as a line.
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

  std::string file_;        // the native file the texts land in
  std::size_t offset_ = 0;  // where this capture's texts begin in it
  std::string error_;
  os::unique_handle capture_;  // Windows: the capture program
  std::u16string stop_text_;   // Windows: the text that ends it
};

// Splits captured texts into lines as DebugOutput::lines() does.
std::vector<std::u16string> split_lines(std::u16string_view texts);

}  // namespace testing_support
