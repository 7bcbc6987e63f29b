// Where the user test plugs into the facade. The user-test thread (DeviceTester) and the notifier
// are not part of this build: no operation creates either yet, so the facade's pointers stay null.
// These interfaces are what the facade needs of them to stop and free them.
#pragma once

#include <cstdint>

namespace VostUsbWardenManager {

class DeviceTester {
 public:
  virtual ~DeviceTester() = default;
  // Ends the user test: 0, or the Windows error code of the failure (the test then keeps running).
  virtual std::uint32_t Stop() = 0;
};

class NotifySender {
 public:
  virtual ~NotifySender() = default;
  virtual std::uint32_t Stop() = 0;
};

}  // namespace VostUsbWardenManager
