#include "driver/driver_service.h"

#include <string>

#include "platform/handle.h"
#include "platform/os.h"
#include "text/utf.h"

namespace testing_support {
namespace {

constexpr wchar_t kServiceName[] = L"VostUsb";

SC_HANDLE null_service() { return nullptr; }
void close_service(SC_HANDLE handle) { ::CloseServiceHandle(handle); }
using unique_service = os::unique_any<SC_HANDLE, close_service, null_service>;

const wchar_t* wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

unique_service open_manager() { return unique_service(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)); }

unique_service open_service(const unique_service& manager) {
  return unique_service(::OpenServiceW(manager.get(), kServiceName, SERVICE_ALL_ACCESS));
}

// Asks a running service to stop and waits for it; a service that is not running is fine.
unsigned long stop_service(SC_HANDLE service, unsigned long timeout_ms) {
  SERVICE_STATUS status{};
  if (!::ControlService(service, SERVICE_CONTROL_STOP, &status)) {
    const DWORD error = ::GetLastError();
    return error == ERROR_SERVICE_NOT_ACTIVE ? 0 : error;
  }
  for (unsigned long waited = 0; status.dwCurrentState != SERVICE_STOPPED; waited += 50) {
    if (waited >= timeout_ms) return ERROR_TIMEOUT;
    ::Sleep(50);
    if (!::QueryServiceStatus(service, &status)) return ::GetLastError();
  }
  return 0;
}

}  // namespace

TestDriverService::TestDriverService(std::u16string image) : image_(std::move(image)) { remove(); }

TestDriverService::~TestDriverService() { remove(); }

unsigned long TestDriverService::fail(const char* call) {
  failed_call_ = call;
  return ::GetLastError();
}

unsigned long TestDriverService::install_and_start() {
  const unique_service manager = open_manager();
  if (!manager) return fail("OpenSCManagerW");
  const unique_service service(::CreateServiceW(manager.get(), kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                                                SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                                wide(image_), nullptr, nullptr, nullptr, nullptr, nullptr));
  if (!service) return fail("CreateServiceW");
  if (!::StartServiceW(service.get(), 0, nullptr)) return fail("StartServiceW");
  return 0;
}

unsigned long TestDriverService::start() {
  const unique_service manager = open_manager();
  if (!manager) return fail("OpenSCManagerW");
  const unique_service service = open_service(manager);
  if (!service) return fail("OpenServiceW");
  if (!::StartServiceW(service.get(), 0, nullptr)) return fail("StartServiceW");
  return 0;
}

unsigned long TestDriverService::stop(unsigned long timeout_ms) {
  const unique_service manager = open_manager();
  if (!manager) return fail("OpenSCManagerW");
  const unique_service service = open_service(manager);
  if (!service) return fail("OpenServiceW");
  const unsigned long error = stop_service(service.get(), timeout_ms);
  if (error) failed_call_ = "ControlService";
  return error;
}

// Stops and deletes the service if it is there, whoever installed it.
void TestDriverService::remove() {
  const unique_service manager = open_manager();
  const unique_service service = manager ? open_service(manager) : unique_service();
  if (!service) return;
  stop_service(service.get(), 10000);
  ::DeleteService(service.get());
}

bool driver_service_installed() {
  const unique_service manager = open_manager();
  return manager && open_service(manager);
}

std::u16string test_driver_image() {
  std::u16string path = u"Z:" + text::from_utf8(VOSTUSB_TEST_DRIVER_PATH);
  for (char16_t& c : path)
    if (c == u'/') c = u'\\';
  return path;
}

}  // namespace testing_support
