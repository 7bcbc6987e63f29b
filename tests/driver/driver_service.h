// The test driver installed and started as the kernel service "VostUsb" for the length of a test,
// through the service control manager. The service is stopped and deleted again when the object
// goes, whatever the test did in between, and one left over by an earlier run is removed first.
//
// It calls the Win32 service API itself: the platform layer has no service calls yet. Once it has,
// this is the library's Install/Start/Stop/Uninstall sequence, which the tests will then use.
#pragma once

#include <string>

namespace testing_support {

class TestDriverService {
 public:
  // The driver image is the path (Windows form) of the test driver's .sys file.
  explicit TestDriverService(std::u16string image);
  TestDriverService(const TestDriverService&) = delete;
  TestDriverService& operator=(const TestDriverService&) = delete;
  ~TestDriverService();

  // Creates the service (kernel driver, demand start) and starts it; 0 or the failing call's error
  // code, with the call named in `failed_call`.
  unsigned long install_and_start();
  // Starts the installed service again; 0 or the error code.
  unsigned long start();
  // Stops the service and waits until it has stopped (at most `timeout_ms`); 0 or the error code.
  unsigned long stop(unsigned long timeout_ms = 10000);
  const std::string& failed_call() const { return failed_call_; }

 private:
  unsigned long fail(const char* call);
  void remove();

  std::u16string image_;
  std::string failed_call_;
};

// Whether the service "VostUsb" exists (installed, and not yet deleted).
bool driver_service_installed();

// The test driver's image as the build leaves it, in Windows form.
std::u16string test_driver_image();

}  // namespace testing_support
