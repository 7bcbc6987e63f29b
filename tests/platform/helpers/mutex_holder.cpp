// A small program for the platform tests: holds a named mutex, then exits.
//   mutex_holder <name> [hold ms, default 60000]
// It exits 0 after the time, 3 when the mutex could not be created, 4 when it existed already.
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/os.h"
#include "text/utf.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::u16string name = text::from_utf8(argv[1]);
  const long hold_ms = argc > 2 ? std::atol(argv[2]) : 60000;
  HANDLE mutex = os::CreateMutexW(nullptr, FALSE, name.c_str());
  if (mutex == nullptr) return 3;
  if (os::GetLastError() == ERROR_ALREADY_EXISTS) return 4;
  std::this_thread::sleep_for(std::chrono::milliseconds(hold_ms));
  // Ends without closing: the handle goes with the process, as it does on Windows.
  return 0;
}
