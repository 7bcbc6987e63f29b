#include "platform/sim/driver_device.h"

#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/sim/machine_link.h"
#include "text/chars.h"
#include "text/utf.h"

namespace os::sim {

namespace {

using machine::Message;
using machine::number;
using machine::to_number;

// The device names of the drivers the daemon emulates.
constexpr std::u16string_view kDriverDevices[] = {u"VostUsb"};

class DriverDevice final : public DeviceObject {
 public:
  DriverDevice(UniqueFd control, UniqueFd signals) : control_(std::move(control)), signals_(std::move(signals)) {
    listener_ = std::thread([this] { listen(); });
  }
  ~DriverDevice() override {
    // The driver's clean-up of this handle is done when CloseHandle returns (a pending stop of
    // its service may finish with it), as on Windows.
    {
      std::lock_guard lock(calls_);
      Message ignored;
      machine::call(control_.get(), {"close"}, ignored);
    }
    ::shutdown(signals_.get(), SHUT_RDWR);
    listener_.join();
  }
  DriverDevice(const DriverDevice&) = delete;
  DriverDevice& operator=(const DriverDevice&) = delete;

  BOOL control(DWORD code, const void* in, DWORD in_size, void* out, DWORD out_size, DWORD* returned) override {
    Message reply;
    DWORD result;
    {
      std::lock_guard lock(calls_);
      result = machine::call(control_.get(),
                             {"ioctl", number(code), std::string(static_cast<const char*>(in), in ? in_size : 0),
                              number(out_size)},
                             reply);
    }
    if (result == machine::kDaemonGone) result = ERROR_DEVICE_NOT_CONNECTED;  // the driver went with its machine
    if (result == ERROR_SUCCESS) result = reply.empty() ? ERROR_INVALID_DATA : static_cast<DWORD>(to_number(reply[0], ERROR_INVALID_DATA));
    const std::string data = reply.size() > 1 ? reply[1] : std::string();
    const DWORD size = static_cast<DWORD>(std::min<std::size_t>(data.size(), out_size));
    if (size) std::memcpy(out, data.data(), size);
    *returned = size;
    if (result != ERROR_SUCCESS) {
      os::SetLastError(result);
      return FALSE;
    }
    return TRUE;
  }

 private:
  // The daemon's "signal EVENT" messages: EVENT is the handle value the driver was given.
  void listen() {
    Message message;
    while (machine::receive_message(signals_.get(), message)) {
      if (message.size() == 2 && message[0] == "signal") {
        os::SetEvent(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(to_number(message[1]))));
      }
    }
  }

  UniqueFd control_;
  UniqueFd signals_;
  std::mutex calls_;
  std::thread listener_;
};

DeviceOpen failed(DWORD error) { return DeviceOpen{nullptr, error}; }

DWORD reply_code(const Message& reply) {
  return reply.empty() ? ERROR_INVALID_DATA : static_cast<DWORD>(to_number(reply[0], ERROR_INVALID_DATA));
}

}  // namespace

std::optional<DeviceOpen> open_driver_device(std::u16string_view name, DWORD access, DWORD) {
  bool known = false;
  for (std::u16string_view device : kDriverDevices) known = known || text::equals_nocase_az(device, name);
  if (!known) return std::nullopt;
  UniqueFd control;
  if (machine::connect(control) != ERROR_SUCCESS) return failed(ERROR_FILE_NOT_FOUND);
  Message reply;
  if (machine::call(control.get(), {"device", text::to_utf8(name), number(access)}, reply) != ERROR_SUCCESS) {
    return failed(ERROR_FILE_NOT_FOUND);
  }
  if (reply_code(reply) != ERROR_SUCCESS) return failed(reply_code(reply));
  if (reply.size() < 2) return failed(ERROR_INVALID_DATA);
  UniqueFd signals;
  Message joined;
  if (machine::connect(signals) != ERROR_SUCCESS ||
      machine::call(signals.get(), {"signals", reply[1]}, joined) != ERROR_SUCCESS || reply_code(joined) != 0) {
    return failed(ERROR_FILE_NOT_FOUND);
  }
  return DeviceOpen{std::make_shared<DriverDevice>(std::move(control), std::move(signals)), ERROR_SUCCESS};
}

}  // namespace os::sim
