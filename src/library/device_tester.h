// The user test's library side: while it runs, the driver hands over each newly connected USB
// device and waits for a verdict. DeviceTester opens its own handle on the driver's device,
// switches the user test on there and runs one worker thread that waits for the driver's
// notification, fetches the pending request, asks the test callback and sends its verdict back.
#pragma once

#include <cstdint>
#include <string>

#include "library/driver_worker.h"

namespace VostUsbWardenManager {

// The test callback: true accepts the device, false refuses it. `request` is the device text of
// the driver's request; `context` is what the user test was started with.
using testFun = bool (*)(const char16_t* request, void* context);

// The largest request the worker takes (64 MiB); a larger one is answered with the default verdict.
inline constexpr std::uint32_t kMostRequestBytes = 64u << 20;

class DeviceTester {
 public:
  DeviceTester(const std::u16string& device_name, testFun fun, std::int64_t WaitTimeIn100nanoSecs,
               bool defaultAccepted, void* context);
  DeviceTester(const DeviceTester&) = delete;
  DeviceTester& operator=(const DeviceTester&) = delete;
  ~DeviceTester();

  // 0, 1552 when already started, or the code of the failed step (everything then as before).
  std::uint32_t Start();
  // 0, 566 when not started, or the code of the failure (the test then keeps running).
  std::uint32_t Stop();

  static DWORD ThreadProc(void* params);
  void Run();

 private:
  // One wake-up's work: peek, fetch, the callback, the answer.
  void HandleRequest();
  // Sends the verdict on the request; a failure is ignored (the request may be gone).
  void Answer(std::uint64_t identifier, bool accepted);

  std::u16string device_name;
  testFun testFun_;
  std::int64_t WaitTimeIn100nanoSecs;
  void* context;
  DriverWorker worker;
  bool defaultAccepted;
};

// The device text of a fetched request: `returned` bytes of which the text starts at offset 14.
// It ends at its first NUL or at the end of what was returned (an odd last byte is dropped), and
// unpaired surrogates become U+FFFD.
std::u16string RequestText(const std::uint8_t* request, std::size_t returned);

}  // namespace VostUsbWardenManager
