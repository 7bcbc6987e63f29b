// A guard's stand-in for the device road: switches the user test on through the library's facade
// and answers every device from its command line, writing each device text it gets to a file.
//
//   user_test_holder ANSWER TIMEOUT_MS DEFAULT SEEN_FILE
//
// ANSWER: accept, refuse or silent (never answers in time); TIMEOUT_MS: the answer time-out for the
// driver (0: none); DEFAULT: accept or refuse. Writes SEEN_FILE.ready once the test is on (or
// SEEN_FILE.failed with the code), then runs until it is killed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "library/manager.h"
#include "platform/os.h"
#include "text/utf.h"

namespace {

struct Holder {
  std::string answer;
  std::string seen_file;
};

void write_file(const std::string& path, const std::string& text, const char* mode) {
  if (FILE* f = std::fopen(path.c_str(), mode)) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
}

bool test_device(const char16_t* request, void* context) {
  const auto* holder = static_cast<const Holder*>(context);
  // One text per line; a text is written whole before the answer goes.
  write_file(holder->seen_file, text::to_utf8(request) + "\n", "ab");
  if (holder->answer == "silent") os::Sleep(INFINITE);
  return holder->answer == "accept";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  static Holder holder{argv[1], argv[4]};
  const std::int64_t timeout = std::strtoll(argv[2], nullptr, 10) * 10000;
  const bool default_accepted = std::strcmp(argv[3], "accept") == 0;
  VostUsbWardenManager::Manager manager(u"VostUsb", u"VostUsb", u"\\\\.\\VostUsb");
  std::u16string status;
  const std::uint32_t r = manager.UserTest_on(test_device, timeout, &holder, default_accepted, status);
  if (r != 0) {
    write_file(holder.seen_file + ".failed", std::to_string(r) + " " + text::to_utf8(status) + "\n", "wb");
    return 1;
  }
  write_file(holder.seen_file + ".ready", "ready\n", "wb");
  os::Sleep(INFINITE);
}
