#include "fake_driver.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>

#include "library/driver_interface.h"
#include "platform/sim/devices.h"

namespace library_testing {

namespace driver = VostUsbWardenManager::driver;

namespace {

class FakeDevice final : public os::sim::DeviceObject {
 public:
  explicit FakeDevice(FakeDriver& driver) : driver_(driver) {}
  ~FakeDevice() override { driver_.closed(); }
  BOOL control(DWORD code, const void* in, DWORD in_size, void* out, DWORD out_size, DWORD* returned) override {
    return driver_.control(code, in, in_size, out, out_size, returned);
  }

 private:
  FakeDriver& driver_;
};

}  // namespace

FakeDriver::FakeDriver() {
  os::sim::set_test_device_family([this](std::u16string_view name, DWORD, DWORD) -> std::optional<os::sim::DeviceOpen> {
    if (name != std::u16string_view(kFakeDevice).substr(4)) return std::nullopt;
    if (open_error != ERROR_SUCCESS) return os::sim::DeviceOpen{nullptr, open_error};
    std::lock_guard guard(lock_);
    ++open_;
    return os::sim::DeviceOpen{std::make_shared<FakeDevice>(*this), ERROR_SUCCESS};
  });
}

FakeDriver::~FakeDriver() { os::sim::set_test_device_family(nullptr); }

BOOL FakeDriver::control(DWORD code, const void* in, DWORD in_size, void* out, DWORD out_size, DWORD* returned) {
  std::lock_guard guard(lock_);
  calls_.push_back({code, std::string(static_cast<const char*>(in), in ? in_size : 0)});
  changed_.notify_all();
  *returned = 0;
  if (const auto failure = failures.find(code); failure != failures.end()) {
    os::SetLastError(failure->second);
    return FALSE;
  }
  const std::string* output = code == driver::kPeekRequest ? &peek_output : code == driver::kFetchRequest ? &fetch_output : nullptr;
  if (output) {
    const std::size_t written = std::min<std::size_t>(output->size(), out_size);
    std::memcpy(out, output->data(), written);
    *returned = static_cast<DWORD>(code == driver::kFetchRequest ? std::min<std::size_t>(fetch_returned, out_size) : written);
  }
  return TRUE;
}

void FakeDriver::closed() {
  std::lock_guard guard(lock_);
  --open_;
}

std::vector<FakeCall> FakeDriver::calls() {
  std::lock_guard guard(lock_);
  return calls_;
}

std::vector<DWORD> FakeDriver::codes() {
  std::vector<DWORD> out;
  for (const FakeCall& call : calls()) {
    if (call.code != driver::kUserTestOn && call.code != driver::kUserTestOff) out.push_back(call.code);
  }
  return out;
}

int FakeDriver::open_handles() {
  std::lock_guard guard(lock_);
  return open_;
}

void FakeDriver::notify() {
  std::uint64_t event = 0;
  for (const FakeCall& call : calls()) {
    if (call.code == driver::kUserTestOn && call.in.size() >= sizeof event) std::memcpy(&event, call.in.data(), sizeof event);
  }
  os::SetEvent(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(event)));
}

bool FakeDriver::wait_for(DWORD code, std::size_t count) {
  std::unique_lock guard(lock_);
  return changed_.wait_for(guard, std::chrono::seconds(5), [&] {
    return static_cast<std::size_t>(std::count_if(calls_.begin(), calls_.end(), [&](const FakeCall& c) { return c.code == code; })) >= count;
  });
}

std::string Header(std::uint64_t identifier, std::uint32_t size, std::uint8_t nothing_pending) {
  driver::RequestHeader header{identifier, size, nothing_pending, 0};
  return std::string(reinterpret_cast<const char*>(&header), sizeof header);
}

std::string Fetched(std::uint64_t identifier, const std::string& text_bytes, std::uint8_t is_void) {
  driver::RequestPrefix prefix{0, identifier, is_void, 0};
  return std::string(reinterpret_cast<const char*>(&prefix), sizeof prefix) + text_bytes;
}

}  // namespace library_testing
