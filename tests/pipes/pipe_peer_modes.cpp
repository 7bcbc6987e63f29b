#include "pipe_peer_modes.h"

#include <cstdint>
#include <vector>

#include "platform/handle.h"
#include "text/format.h"

namespace pipe_test {

bool set_handler(class_commp& listener, const std::string& mode) {
  if (mode == "echo") {
    listener.text_handler = [](unsigned long, const std::u16string& q) { return u"echo:" + q; };
  } else if (mode == "pid") {
    listener.text_handler = [](unsigned long pid, const std::u16string&) {
      return text::format(u"%u", static_cast<unsigned>(pid));
    };
  } else if (mode == "bytes") {
    listener.buffer_handler = [](unsigned long, CMemBuf& q, CMemBuf& a) { a.Append(q.data(), q.size()); };
  } else if (mode == "empty") {
    listener.text_handler = [](unsigned long, const std::u16string&) { return std::u16string(); };
  } else if (mode == "slow") {
    listener.text_handler = [](unsigned long, const std::u16string& q) {
      os::Sleep(1500);
      return u"slow:" + q;
    };
  } else if (mode == "silent") {
    listener.text_handler = [](unsigned long, const std::u16string&) {
      os::Sleep(600000);
      return std::u16string();
    };
  } else {
    return false;
  }
  return true;
}

void serve_bare(const std::u16string& name) {
  const std::u16string path = u"\\\\.\\pipe\\" + name;
  std::vector<std::uint8_t> buffer(1 << 16);
  for (;;) {
    os::unique_hfile pipe(os::CreateNamedPipeW(path.c_str(), PIPE_ACCESS_DUPLEX,
                                               PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 1024, 1024,
                                               500, nullptr));
    if (!pipe) {
      os::Sleep(100);
      continue;
    }
    if (!os::ConnectNamedPipe(pipe.get(), nullptr) && os::GetLastError() != ERROR_PIPE_CONNECTED) continue;
    DWORD got = 0;
    while (os::ReadFile(pipe.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      DWORD written = 0;
      if (!os::WriteFile(pipe.get(), buffer.data(), got, &written, nullptr)) break;
    }
    os::DisconnectNamedPipe(pipe.get());
  }
}

}  // namespace pipe_test
