// The driver's notifier: a worker of the same shape as the user test's, which nothing in the
// library creates or starts. Only its stop is here, so that the facade can end one it holds.
#pragma once

#include <cstdint>
#include <string>

#include "library/driver_worker.h"

namespace VostUsbWardenManager {

class NotifySender {
 public:
  explicit NotifySender(const std::u16string& device_name) : device_name(device_name) {}
  NotifySender(const NotifySender&) = delete;
  NotifySender& operator=(const NotifySender&) = delete;
  ~NotifySender() { Stop(); }

  // As the user test's stop, with the notifier's own control code.
  std::uint32_t Stop();

 private:
  std::u16string device_name;
  DriverWorker worker;
};

}  // namespace VostUsbWardenManager
