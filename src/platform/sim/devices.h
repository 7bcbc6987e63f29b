// The device namespace of the simulated host ("\\.\NAME" other than pipes): drivers, host
// controllers, hubs, volumes and disks. CreateFileW hands such names to open_device, which asks
// each device family in turn; DeviceIoControl reaches the family's object through DeviceObject.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/sim/io_object.h"

namespace os::sim {

// An open device. Reads and writes are not part of the devices simulated here: by default they
// fail with ERROR_INVALID_FUNCTION, as a driver without those dispatch routines answers.
class DeviceObject : public IoObject {
 public:
  // One control request, with DeviceIoControl's arguments and results: TRUE with *returned set,
  // or FALSE with the last error set (and *returned set where Windows reports a partial result).
  virtual BOOL control(DWORD code, const void* in, DWORD in_size, void* out, DWORD out_size, DWORD* returned) = 0;

  BOOL read(void* buffer, DWORD count, DWORD* done) override;
  BOOL write(const void* buffer, DWORD count, DWORD* done) override;
  BOOL flush() override;
};

// What a device family says about a name: not mine (nullopt), or an opened object, or a failure
// (null object with `error` set, for example ERROR_ACCESS_DENIED).
struct DeviceOpen {
  std::shared_ptr<DeviceObject> object;
  DWORD error = ERROR_SUCCESS;
};

// `name` is the part after "\\.\" (for "\\.\HCD0", "HCD0"). A family that does not know the name
// returns nullopt and the next family is asked; no family knowing it gives ERROR_FILE_NOT_FOUND.
std::optional<DeviceOpen> open_device(std::u16string_view name, DWORD access, DWORD flags);

// For tests of code that talks to a device: a family of their own, asked before all others (an
// empty function removes it).
using DeviceFamily = std::function<std::optional<DeviceOpen>(std::u16string_view name, DWORD access, DWORD flags)>;
void set_test_device_family(DeviceFamily family);

}  // namespace os::sim
