#include "library/driver_worker.h"

namespace VostUsbWardenManager {

DriverWorker::~DriverWorker() {
  if (HasThread()) EndThread();
}

std::uint32_t DriverWorker::Stop(DWORD off_code) {
  if (!HasThread()) return kWorkerNotRunning;
  DWORD returned = 0;
  if (!os::DeviceIoControl(driver.get(), off_code, nullptr, 0, nullptr, 0, &returned, nullptr)) {
    return os::GetLastError();
  }
  os::SetEvent(stopEvent.get());
  const DWORD waited = os::WaitForSingleObject(thread.get(), INFINITE);
  if (waited != WAIT_OBJECT_0) return waited;
  CloseAll();
  return 0;
}

void DriverWorker::Abandon(bool resumed) {
  if (HasThread()) {
    if (resumed) {
      EndThread();
    } else {
      os::TerminateThread(thread.get(), 0);
    }
  }
  CloseAll();
}

void DriverWorker::EndThread() {
  // The worker holds nothing between its waits, so telling it to stop is enough.
  os::SetEvent(stopEvent.get());
  os::WaitForSingleObject(thread.get(), INFINITE);
}

void DriverWorker::CloseAll() {
  thread.reset();
  threadId = 0;
  notifyEvent.reset();
  stopEvent.reset();
  driver.reset();
}

}  // namespace VostUsbWardenManager
