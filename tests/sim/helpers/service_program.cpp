// A service program that never reports to the service manager: it writes its process id to the
// file named by its first argument, then waits (at most a minute) to be ended. Like every program
// of the simulated machine it is given Windows paths (`Z:\...`, `C:\...`), so it writes through the
// platform layer.
#include <unistd.h>

#include <string>

#include "platform/handle.h"
#include "platform/os.h"
#include "text/utf.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::u16string path = text::from_utf8(argv[1]);
  os::unique_hfile file(os::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 3;
  const std::string line = std::to_string(::getpid()) + "\n";
  DWORD written = 0;
  if (!os::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) return 4;
  file.reset();
  for (int i = 0; i < 600; ++i) ::usleep(100000);
  return 0;
}
