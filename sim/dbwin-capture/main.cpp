// dbwin-capture: appends the debugger output of this session's processes to a file, so that tests
// of the Windows build read the same diagnostic lines that the simulated host keeps in
// <sim root>/debug.log. Exit codes: 0 after the stop text, 1 on a failure, 2 on a bad command
// line, 3 when another debug output viewer is listening.
#include <cstdio>

#include "arguments.h"
#include "debug_buffer.h"
#include "platform/handle.h"
#include "platform/os.h"
#include "text/utf.h"

namespace {

int fail(const std::string& message) {
  std::fprintf(stderr, "dbwin-capture: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main() {
  using namespace dbwin_capture;
  const auto args = parse_arguments(command_line_arguments());
  if (!args) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  ListenFailure failure;
  const auto buffer = DebugBuffer::listen(&failure);
  if (!buffer) {
    fail(failure.message);
    return failure.other_viewer ? 3 : 1;
  }
  // Created only now: its existence tells the starter that nothing written from here on is lost.
  // Others may read it, and delete it, while it grows.
  os::unique_hfile out{os::CreateFileW(args->output_file.c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (!out) return fail("cannot create " + text::to_utf8(args->output_file));
  for (;;) {
    const auto received = buffer->receive();
    if (!received) return fail("waiting for debug output failed");
    if (args->stop_text && *received == *args->stop_text) return 0;
    // Each text is a line of its own, as a debug viewer shows it and as debug.log keeps it.
    std::string bytes = text::to_utf8_display(*received);
    if (bytes.empty() || bytes.back() != '\n') bytes += '\n';
    DWORD written = 0;
    if (!os::WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
      return fail("cannot write " + text::to_utf8(args->output_file));
    }
  }
}
