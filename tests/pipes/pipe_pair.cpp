#include "pipe_pair.h"

#include <thread>

#include "text/format.h"

namespace pipe_test {

std::u16string unique_pipe_path(const std::string& tag) {
  return text::format(u"\\\\.\\pipe\\vostusb_test_%s_%u", std::u16string(tag.begin(), tag.end()),
                      static_cast<unsigned>(os::GetCurrentProcessId()));
}

os::unique_hfile open_client(const std::u16string& path, DWORD flags) {
  const DWORD start = os::GetTickCount();
  for (;;) {
    os::unique_hfile client(os::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL | flags, nullptr));
    if (client || os::GetTickCount() - start > 5000) {
      if (client) {
        DWORD mode = PIPE_READMODE_MESSAGE;
        os::SetNamedPipeHandleState(client.get(), &mode, nullptr, nullptr);
      }
      return client;
    }
    os::Sleep(5);
  }
}

PipePair connect_pair(const std::u16string& path, DWORD server_flags, DWORD client_flags, DWORD instances) {
  PipePair pair;
  pair.server.reset(os::CreateNamedPipeW(path.c_str(), PIPE_ACCESS_DUPLEX | server_flags,
                                         PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, instances, 1024, 1024,
                                         500, nullptr));
  if (!pair.server) return pair;
  HANDLE server = pair.server.get();
  std::thread connect([server, server_flags] {
    if (server_flags & FILE_FLAG_OVERLAPPED) {
      os::unique_handle event(os::CreateEventW(nullptr, TRUE, FALSE, nullptr));
      OVERLAPPED overlapped{};
      overlapped.hEvent = event.get();
      if (!os::ConnectNamedPipe(server, &overlapped) && os::GetLastError() == ERROR_IO_PENDING) {
        DWORD unused = 0;
        os::GetOverlappedResult(server, &overlapped, &unused, TRUE);
      }
    } else {
      os::ConnectNamedPipe(server, nullptr);
    }
  });
  pair.client = open_client(path, client_flags);
  connect.join();
  return pair;
}

}  // namespace pipe_test
