// An asker of the pipe tests in a process of its own, so that it can run as another user.
//   pipe_asker ask <pid> <channel> <question> <claimed pid>
//     one exchange with listener <pid>, whose request claims to come from <claimed pid>; prints
//     "<answer>" once an answer came, or "no answer <error>"
//   pipe_asker serve <pid> <channel>
//     tries to create an instance of listener <pid>'s pipe, first as a further instance and then as
//     a first one; prints both error codes ("0" for an instance made)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pipes/channel_names.h"
#include "pipes/mem_buf.h"
#include "pipes/message_text.h"
#include "pipes/pipe_io.h"
#include "platform/handle.h"
#include "platform/os.h"
#include "text/utf.h"

namespace {

std::u16string pipe_of(const char* pid, const char* channel) {
  return channel_pipe_path(channel_base_name(text::from_utf8(channel), std::strtoul(pid, nullptr, 10)));
}

int ask(const std::u16string& pipe, const std::u16string& question, unsigned long claimed) {
  os::unique_hfile handle;
  for (int attempt = 0; attempt < 200 && !handle; ++attempt) {
    handle.reset(os::CreateFileW(pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr));
    if (!handle) os::Sleep(10);
  }
  DWORD mode = PIPE_READMODE_MESSAGE;
  if (!handle || !os::SetNamedPipeHandleState(handle.get(), &mode, nullptr, nullptr)) {
    std::printf("no answer %u\n", static_cast<unsigned>(os::GetLastError()));
    return 1;
  }
  CMemBuf request;
  const std::uint8_t claim[4] = {static_cast<std::uint8_t>(claimed), static_cast<std::uint8_t>(claimed >> 8),
                                 static_cast<std::uint8_t>(claimed >> 16), static_cast<std::uint8_t>(claimed >> 24)};
  request.Append(claim, 4);
  append_message_text(request, question);
  const os::unique_handle event(os::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const DWORD written = write_message(handle.get(), event.get(), request, 5000);
  CMemBuf answer;
  const MessageRead read = read_message(handle.get(), event.get(), answer, 5000);
  if (written != ERROR_SUCCESS || read.end != MessageEnd::whole) {
    std::printf("no answer %u\n", static_cast<unsigned>(written != ERROR_SUCCESS ? written : read.error));
    return 1;
  }
  std::printf("%s\n", text::to_utf8(message_text(answer.data(), answer.size())).c_str());
  return 0;
}

DWORD try_instance(const std::u16string& pipe, DWORD first_flag) {
  os::unique_hfile instance(os::CreateNamedPipeW(pipe.c_str(), PIPE_ACCESS_DUPLEX | first_flag,
                                                 PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                                 PIPE_UNLIMITED_INSTANCES, 1024, 1024, 500, nullptr));
  return instance ? 0 : os::GetLastError();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "ask" && argc == 6) {
    return ask(pipe_of(argv[2], argv[3]), text::from_utf8(argv[4]), std::strtoul(argv[5], nullptr, 10));
  }
  if (mode == "serve" && argc == 4) {
    const std::u16string pipe = pipe_of(argv[2], argv[3]);
    std::printf("%u %u\n", static_cast<unsigned>(try_instance(pipe, 0)),
                static_cast<unsigned>(try_instance(pipe, FILE_FLAG_FIRST_PIPE_INSTANCE)));
    return 0;
  }
  std::fputs("usage: pipe_asker ask PID CHANNEL QUESTION CLAIMED_PID | serve PID CHANNEL\n", stderr);
  return 2;
}
