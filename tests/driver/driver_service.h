// The test driver installed and started as the kernel service "VostUsb" for the length of a test,
// through the driver control library's own service calls (Manager's Install, Start, Stop and
// Uninstall). The service is stopped and deleted again when the object goes, whatever the test did
// in between, and one left over by an earlier run is removed first. The library's configuration
// file and admittance folder that Install records go to a scratch folder of the object's own.
#pragma once

#include <cstdint>
#include <string>

#include "library/manager.h"
#include "support/scratch_folder.h"

namespace testing_support {

inline constexpr const char16_t* kDriverService = u"VostUsb";

class TestDriverService {
 public:
  // The driver image is the path (Windows form) of the test driver's .sys file.
  explicit TestDriverService(std::u16string image);
  TestDriverService(const TestDriverService&) = delete;
  TestDriverService& operator=(const TestDriverService&) = delete;
  ~TestDriverService();

  // Installs the service (demand start) and starts it; 0 or the failing call's code, with the
  // library's text in status_text().
  std::uint32_t install_and_start();
  // Starts the installed service again; 0 or the code.
  std::uint32_t start();
  // Stops the service and waits until it has stopped; 0, or the code behind the library's text
  // (the library reports a refused stop only by its text).
  std::uint32_t stop();
  const std::u16string& status_text() const { return status_; }

 private:
  std::u16string image_;
  ScratchFolder folder_;
  VostUsbWardenManager::Manager manager_;
  std::u16string status_;
};

// Whether the service "VostUsb" exists (installed, and not yet deleted).
bool driver_service_installed();

// Stops and deletes the service "VostUsb" if it is there, whoever installed it.
void remove_driver_service();

// The test driver's image as the build leaves it, in Windows form.
std::u16string test_driver_image();

}  // namespace testing_support
