// Opens the VostUsb device, turns the user test on (no answer time-out, default verdict: accepted),
// prints "ready" and waits to be killed: the driver must clean up after a process that dies
// holding its device.
#include <unistd.h>

#include <cstdio>

#include "library/driver_interface.h"
#include "platform/handle.h"
#include "platform/os.h"

namespace driver = VostUsbWardenManager::driver;

int main() {
  os::unique_hfile device(os::CreateFileW(driver::kDevicePath, driver::kDeviceAccess, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!device) {
    std::printf("open failed %u\n", os::GetLastError());
    return 1;
  }
  os::unique_handle event(os::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  driver::StartRecord start{reinterpret_cast<std::uint64_t>(event.get()), 0, 1, 1};
  DWORD returned = 0;
  if (!os::DeviceIoControl(device.get(), driver::kUserTestOn, &start, sizeof start, nullptr, 0, &returned, nullptr)) {
    std::printf("user test on failed %u\n", os::GetLastError());
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  for (;;) ::pause();
}
