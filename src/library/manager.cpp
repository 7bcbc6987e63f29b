// The facade's life and its driver device: attaching, and the operations that send one control
// code to the driver.
#include "library/manager.h"

#include "library/driver_interface.h"
#include "library/status_text.h"

namespace VostUsbWardenManager {

Manager::Manager(const char16_t* service_name_, const char16_t* display_name_, const char16_t* device_name_)
    : device_name(device_name_), service_name(service_name_), display_name(display_name_) {
  scm.init(service_name, display_name);
}

Manager::~Manager() {
  if (notifier != nullptr) {
    notifier->Stop();
    delete notifier;
  }
  if (tester != nullptr) {
    tester->Stop();
    delete tester;
  }
  Detach();
}

bool Manager::Attach(std::u16string& status_text) {
  if (IsAttached()) return true;
  driver = os::CreateFileW(device_name.c_str(), driver::kDeviceAccess, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (driver != INVALID_HANDLE_VALUE) return true;
  const DWORD code = os::GetLastError();
  status_text = ErrText(u"Driver not open", code);
  os::SetLastError(code);
  return false;
}

bool Manager::Detach() {
  if (!IsAttached()) return true;
  if (!os::CloseHandle(driver)) return false;
  driver = INVALID_HANDLE_VALUE;
  return true;
}

bool Manager::Detach(std::u16string& status_text) {
  if (Detach()) return true;
  const DWORD code = os::GetLastError();
  status_text = ErrText(u"Driver handle not closed", code);
  os::SetLastError(code);
  return false;
}

std::uint32_t Manager::SendToDriver(std::uint32_t io_code, void* in, std::uint32_t in_size,
                                    std::u16string& status_text) {
  if (!Attach(status_text)) return os::GetLastError();
  DWORD returned = 0;
  if (os::DeviceIoControl(driver, io_code, in, in_size, nullptr, 0, &returned, nullptr)) return 0;
  const DWORD code = os::GetLastError();
  status_text = ErrText(u"Operation fail", code);
  return code;
}

std::uint32_t Manager::ClearAcceptedNameList(std::u16string& status_text) {
  return SendToDriver(driver::kClearAcceptedNameList, nullptr, 0, status_text);
}

std::uint32_t Manager::ClearAcceptedTypeList(std::u16string& status_text) {
  return SendToDriver(driver::kClearAcceptedTypeList, nullptr, 0, status_text);
}

std::uint32_t Manager::SetHubsAccept(bool onoff, ConfigTypes mode, std::u16string& status_text) {
  return SetMainOption(mode, onoff ? driver::kHubsAcceptOn : driver::kHubsAcceptOff, Option_hubs_always_accepted,
                       onoff, FilesAndCacheMode_Default, status_text);
}

std::uint32_t Manager::UserTest_on(fun test, std::int64_t WaitTimeIn100nanoSecs, void* context,
                                   bool defaultAccepted, std::u16string& status_text) {
  if (tester != nullptr) {
    status_text = u"User Test already started";
    return 1;
  }
  if (test == nullptr) {
    status_text = u"Callback function is NULL";
    return 87;
  }
  tester = new DeviceTester(device_name, test, WaitTimeIn100nanoSecs, defaultAccepted, context);
  const std::uint32_t r = tester->Start();
  if (r == 0) return 0;
  delete tester;
  tester = nullptr;
  status_text = ErrText(u"Operation fail", r);
  return r;
}

std::uint32_t Manager::UserTest_off(std::u16string& status_text) {
  if (tester != nullptr) {
    const std::uint32_t r = tester->Stop();
    if (r != 0) {
      status_text = ErrText(u"Operation fail", r);
      return r;
    }
    delete tester;
    tester = nullptr;
    return 0;
  }
  if (!Attach(status_text)) {
    const DWORD code = os::GetLastError();
    status_text = ErrText(u"Operation fail", code);
    return code;
  }
  return SendToDriver(driver::kUserTestOff, nullptr, 0, status_text);
}

}  // namespace VostUsbWardenManager
