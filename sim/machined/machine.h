// The state of one simulated machine's kernel, shared by the daemon's connections under one lock.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <mutex>

#include "service_manager.h"
#include "vostusb_driver.h"

namespace machined {

struct Machine {
  std::mutex mutex;
  std::condition_variable changed;
  VostUsbDriver driver{changed};
  ServiceManager services{changed, driver};
};

// Serves one connection until its peer closes it (or asks the machine to shut down, which ends
// the process). `caller` is the peer's Linux user.
void serve(Machine& machine, int fd, uid_t caller);

}  // namespace machined
