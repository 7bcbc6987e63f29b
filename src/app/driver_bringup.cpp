// The process's one driver connection: the bring-up of service mode, its tear-down, and the short
// connection of the device-list writer. Every library result is reported as "<prefix><code> : <status>".
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "app/run_modes.h"
#include "config/settings.h"
#include "decision/decision.h"
#include "library/manager.h"
#include "process/diagnostics.h"
#include "process/named_paths.h"
#include "process/registry.h"
#include "process/run_state.h"
#include "text/format.h"

using VostUsbWardenManager::Manager;

namespace {

constexpr std::uint32_t kServiceWaitMs = 10;
constexpr std::uint32_t kUninstallWaitMs = 50;
constexpr std::uint32_t kDemandStart = 3;
constexpr std::int64_t kAnswerTimeout100ns = 1200000000;  // 120 s
constexpr DWORD kEjectionWindowMs = 300000;               // five minutes after the system started

// The owner of the Manager that g_manager points to; both change only under g_manager_lock.
std::unique_ptr<Manager> connection;

void open_connection() {
  std::lock_guard<std::recursive_mutex> lock(g_manager_lock);
  connection = std::make_unique<Manager>(u"VostUsb", u"VostUsb", u"\\\\.\\VostUsb");
  g_manager = connection.get();
}

void close_connection() {
  std::lock_guard<std::recursive_mutex> lock(g_manager_lock);
  connection.reset();
  g_manager = nullptr;
}

void report_failure(std::u16string_view prefix, std::uint32_t result, const std::u16string& status_text) {
  _COUT(std::u16string(prefix) + text::format(u"%i", static_cast<int>(result)) + u" : " + status_text);
}

bool drives_may_be_ejected() {
  int active_now;
  {
    std::lock_guard<std::recursive_mutex> lock(config_lock);
    active_now = active;
  }
  return active_now && os::GetTickCount() < kEjectionWindowMs;
}

// The Windows 10 family loads "vostusb10.sys"; a service installed for an older Windows names the
// other file.
void repair_image_path_for_windows10() {
  if (registry::is_windows10_family()) registry::repair_driver_image_path(u"vostusb", u"vostusb.sys", u"vostusb10.sys");
}

}  // namespace

void InstallStateCallback(std::uint32_t state, void*) { _COUT(text::format(u"InstallStateCallback: %i", static_cast<int>(state))); }

void DriverStateCallback(std::uint32_t state, void*) { _COUT(text::format(u"DriverStateCallback: %i", static_cast<int>(state))); }

bool device_test(const char16_t* request, void*) { return vostusb_decision(request) != 0; }

int driver_start() {
  if (g_manager) return 1;
  repair_image_path_for_windows10();
  open_connection();
  std::u16string status_text;

  ensure_current_usb_list();
  load_initial_rules();
  if (drives_may_be_ejected()) eject_unknown_drives();

  const std::u16string accept_folder = get_named_path(u"internal_accept");
  const std::u16string config_file = get_named_path(u"config");
  const std::u16string driver_file = get_named_path(u"sys");

  std::uint32_t result = g_manager->Install(kServiceWaitMs, driver_file.c_str(), config_file.c_str(), accept_folder.c_str(),
                                            kDemandStart, nullptr, nullptr, nullptr, status_text, true, nullptr,
                                            InstallStateCallback);
  if (result != 0 && result != ERROR_SERVICE_EXISTS) {
    report_failure(u"Driver installation error: ", result, status_text);
    return 0;
  }
  _COUT(u"Driver installed.");

  result = g_manager->Start(kServiceWaitMs, status_text, nullptr, DriverStateCallback);
  if (result != 0 && result != ERROR_SERVICE_ALREADY_RUNNING) {
    report_failure(u"Driver starting error: ", result, status_text);
    return 0;
  }
  _COUT(u"Driver started.");

  if (g_manager->Attach(status_text)) {
    _COUT(u"Driver attached.");
  } else {
    _COUT(u"Driver attach error: " + status_text);
  }

  result = g_manager->SetHubsAccept(true, VostUsbWardenManager::ConfigDriverAndFile, status_text);
  if (result != 0) {
    report_failure(u"Hubs accepted error: ", result, status_text);
    return 0;
  }
  _COUT(u"Hubs accepted done.");

  result = g_manager->UserTest_on(device_test, kAnswerTimeout100ns, nullptr, true, status_text);
  if (result != 0 && result != ERROR_GEN_FAILURE) {
    report_failure(u"User mode enable error: ", result, status_text);
    return 0;
  }
  _COUT(u"User mode enable done.");
  return 1;
}

int driver_stop() {
  const int uninstall = uninstall_requested;
  // A "cfg" command lists the devices through g_manager: it waits until the connection is gone.
  std::lock_guard<std::recursive_mutex> lock(g_manager_lock);
  if (!g_manager) return 1;
  std::u16string status_text;

  std::uint32_t result = g_manager->UserTest_off(status_text);
  if (result == 0) {
    _COUT(u"User mode disabled.");
  } else {
    report_failure(u"User mode disable error: ", result, status_text);
  }
  g_manager->ClearAcceptedNameList(status_text);
  g_manager->ClearAcceptedTypeList(status_text);

  if (uninstall) {
    result = g_manager->Stop(kServiceWaitMs, status_text, nullptr, DriverStateCallback);
    if (result == 0) {
      _COUT(u"Driver stopped.");
    } else {
      report_failure(u"Driver stopping error: ", result, status_text);
    }
    result = g_manager->Uninstall(kUninstallWaitMs, status_text, nullptr, DriverStateCallback);
    if (result == 0) {
      _COUT(u"Driver uninstalled.");
    } else {
      report_failure(u"Driver uninstall error: ", result, status_text);
    }
  }

  close_connection();
  return 1;
}

void usb_list_service_mode(const std::u16string& path) {
  std::lock_guard<std::recursive_mutex> lock(g_manager_lock);
  open_connection();
  write_current_usb_list(path, 0);
  close_connection();
}
