#include "driver/driver_service.h"

#include "library/driver_interface.h"
#include "library/service/sc_manager.h"
#include "text/utf.h"

namespace testing_support {
namespace {

using VostUsbWardenManager::Manager;

constexpr std::uint32_t kPollMs = 10;
constexpr std::uint32_t kServiceDoesNotExist = 1060;

std::u16string in_folder(const ScratchFolder& folder, const char* name) {
  return text::from_utf8(folder.path() + "\\" + name);
}

}  // namespace

TestDriverService::TestDriverService(std::u16string image)
    : image_(std::move(image)), manager_(kDriverService, kDriverService, VostUsbWardenManager::driver::kDevicePath) {
  remove_driver_service();
}

TestDriverService::~TestDriverService() { remove_driver_service(); }

std::uint32_t TestDriverService::install_and_start() {
  status_.clear();
  const std::u16string config = in_folder(folder_, "config.json");
  const std::u16string admittances = in_folder(folder_, "adm");
  const std::uint32_t installed =
      manager_.Install(kPollMs, image_.c_str(), config.c_str(), admittances.c_str(), SERVICE_DEMAND_START, nullptr,
                       nullptr, nullptr, status_, true, nullptr, nullptr);
  return installed != 0 ? installed : start();
}

std::uint32_t TestDriverService::start() {
  status_.clear();
  return manager_.Start(kPollMs, status_, nullptr, nullptr);
}

std::uint32_t TestDriverService::stop() {
  status_.clear();
  const std::uint32_t r = manager_.Stop(kPollMs, status_, nullptr, nullptr);
  return r != 0 || status_.empty() ? r : manager_.ServiceLastError();
}

bool driver_service_installed() {
  VostUsbWardenManager::SCManager scm;
  scm.init(kDriverService, kDriverService);
  return scm.OpenManager() == 0 && scm.OpenSvc(SERVICE_QUERY_STATUS) != kServiceDoesNotExist;
}

void remove_driver_service() {
  Manager manager(kDriverService, kDriverService, VostUsbWardenManager::driver::kDevicePath);
  std::u16string ignored;
  manager.Stop(kPollMs, ignored, nullptr, nullptr);
  manager.Uninstall(kPollMs, ignored, nullptr, nullptr);
}

std::u16string test_driver_image() {
  std::u16string path = u"Z:" + text::from_utf8(VOSTUSB_TEST_DRIVER_PATH);
  for (char16_t& c : path)
    if (c == u'/') c = u'\\';
  return path;
}

}  // namespace testing_support
