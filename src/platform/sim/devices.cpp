// The device namespace: CreateFileW's "\\.\NAME" after pipes, and DeviceIoControl.
#include "platform/sim/devices.h"

#include <mutex>

#include "platform/sim/driver_device.h"
#include "platform/sim/errors.h"
#include "platform/sim/usb_device_objects.h"

namespace os::sim {

BOOL DeviceObject::read(void*, DWORD, DWORD* done) {
  if (done) *done = 0;
  os::SetLastError(ERROR_INVALID_FUNCTION);
  return FALSE;
}

BOOL DeviceObject::write(const void*, DWORD, DWORD* done) {
  if (done) *done = 0;
  os::SetLastError(ERROR_INVALID_FUNCTION);
  return FALSE;
}

BOOL DeviceObject::flush() { return TRUE; }

namespace {

std::mutex test_family_lock;
DeviceFamily test_family;

}  // namespace

void set_test_device_family(DeviceFamily family) {
  std::lock_guard guard(test_family_lock);
  test_family = std::move(family);
}

std::optional<DeviceOpen> open_device(std::u16string_view name, DWORD access, DWORD flags) {
  {
    std::lock_guard guard(test_family_lock);
    if (test_family) {
      if (auto device = test_family(name, access, flags)) return device;
    }
  }
  // Each simulated device family adds its opener here, in the order names are tried.
  if (auto usb = usb::open_usb_device(name, access)) return usb;
  if (auto driver = open_driver_device(name, access, flags)) return driver;
  return std::nullopt;
}

}  // namespace os::sim

namespace os {

BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD in_size, void* out, DWORD out_size, DWORD* returned,
                     OVERLAPPED* overlapped) {
  DWORD ignored = 0;
  if (!returned) returned = &ignored;
  *returned = 0;
  if (overlapped) {  // the simulated devices complete every request at once
    os::SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  auto object = sim::find_handle_as<sim::DeviceObject>(device);
  if (!object) {
    // A file or pipe handle is a handle, just not of a device that knows the request.
    if (sim::find_handle(device)) os::SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  if ((in_size && !in) || (out_size && !out)) {
    os::SetLastError(ERROR_INVALID_PARAMETER);  // the I/O manager probes both buffers first
    return FALSE;
  }
  return object->control(code, in, in_size, out, out_size, returned);
}

}  // namespace os
