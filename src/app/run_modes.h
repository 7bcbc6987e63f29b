// The run modes of the executable and the operations of other subsystems they call.
#pragma once

#include <cstdint>
#include <string>

#include "decision/current_usb_list.h"
#include "decision/unknown_drives.h"
#include "platform/os.h"

// The application: all of its work happens in InitInstance, which always returns FALSE.
class CvostrelusbApp {
 public:
  BOOL InitInstance();
};

// Named run-mode mutexes (Global\ namespace).
inline constexpr char16_t kServiceMutex[] = u"VOSTUSB_MTX_9324179821738756812738";
inline constexpr char16_t kListRequestMutex[] = u"VOSTUSB_MTX_USB_218718798712398123";

// The hand-over file of a device-list request, under the data folder.
std::u16string handover_file_path();

// Device-list request "/gud:<path>": hand-over file, watchdog, temporary service.
void run_device_list_request(const std::u16string& target);
void run_temp_service();
// Device-list writer: the copy started as the temporary service.
void run_device_list_writer();

// Operations of other subsystems.
BOOL run_service_mode();                                   // "/start"
BOOL run_control_mode(const std::u16string& command);      // "/stop", "/uninstall"
void usb_list_service_mode(const std::u16string& path);    // writes the device list to `path`
int driver_start();                                        // 1 when the driver is up
int driver_stop();                                         // always 1

// The driver connection's progress callbacks and the device test of the user test.
void InstallStateCallback(std::uint32_t state, void* context);
void DriverStateCallback(std::uint32_t state, void* context);
bool device_test(const char16_t* request, void* context);
