// What a user-mode worker of the driver holds: its own handle on the driver's device, its thread
// and the two manual-reset events it waits on (stop, and the driver's notification). The user test
// (DeviceTester) and the notifier (NotifySender) are such workers; they differ in how they start
// and in the control code that ends them in the driver.
#pragma once

#include <cstdint>

#include "platform/handle.h"
#include "platform/os.h"

namespace VostUsbWardenManager {

inline constexpr std::uint32_t kWorkerRunning = 1552;     // ERROR_SERVICE_ALREADY_RUNNING
inline constexpr std::uint32_t kWorkerNotRunning = 566;   // ERROR_THREAD_NOT_IN_PROCESS

class DriverWorker {
 public:
  DriverWorker() = default;
  DriverWorker(const DriverWorker&) = delete;
  DriverWorker& operator=(const DriverWorker&) = delete;
  // A worker whose stop the driver refused still ends before its handles close (they are in use).
  ~DriverWorker();

  bool HasThread() const { return static_cast<bool>(thread); }

  // Ends the worker: `off_code` to the driver (its failure: that code, and everything stays), the
  // stop event, the wait for the thread, then every handle closed. 566 when there is no thread.
  std::uint32_t Stop(DWORD off_code);
  // Ends a thread the driver never heard of (a start that failed after the thread was made): one
  // that was never resumed is terminated, a running one told to stop and waited for (it is blocked
  // in its wait and holds nothing). Then closes all.
  void Abandon(bool resumed);

  os::unique_hfile driver;
  os::unique_handle thread;
  DWORD threadId = 0;
  os::unique_handle stopEvent;
  os::unique_handle notifyEvent;

 private:
  void EndThread();
  void CloseAll();
};

}  // namespace VostUsbWardenManager
