// The receiving end of the Windows debugger output, as debug viewers have it. A writer
// (OutputDebugStringA, and OutputDebugStringW through it) waits for the event "DBWIN_BUFFER_READY",
// puts its process id and its text, in the ANSI code page, into the section "DBWIN_BUFFER", and
// sets "DBWIN_DATA_READY". Writers are served one at a time, in the order they take the buffer.
// The names are the session's own: under Wine the "Global\" ones receive nothing.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dbwin_capture {

struct ListenFailure {
  bool other_viewer = false;  // another debug output viewer has the buffer
  std::string message;
};

class DebugBuffer {
 public:
  // Creates the section and its events. Fails when another viewer has them already.
  static std::unique_ptr<DebugBuffer> listen(ListenFailure* failure);
  ~DebugBuffer();

  // Lets the next writer in and waits for its text; empty if waiting fails.
  std::optional<std::u16string> receive();

 private:
  struct Handles;
  explicit DebugBuffer(std::unique_ptr<Handles> handles);
  std::unique_ptr<Handles> handles_;
};

// The program's arguments (without its name), split as the C run-time splits them.
std::vector<std::u16string> command_line_arguments();

}  // namespace dbwin_capture
