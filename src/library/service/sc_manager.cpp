#include "library/service/sc_manager.h"


namespace VostUsbWardenManager {

namespace {

constexpr std::uint32_t kInvalidHandle = 6;  // ERROR_INVALID_HANDLE

// Closes `handle` when open: on success it becomes null and the result is 0; on failure it is kept
// and the result is the system's code.
std::uint32_t CloseHandleSlot(SC_HANDLE& handle) {
  if (handle == nullptr) return 0;
  if (!os::CloseServiceHandle(handle)) return os::GetLastError();
  handle = nullptr;
  return 0;
}

}  // namespace

SCManager::~SCManager() {
  CloseSvc();
  CloseMan();
}

void SCManager::init(const std::u16string& service_name_, const std::u16string& display_name_) {
  lastError = 0;
  scm = nullptr;
  service = nullptr;
  service_name = service_name_;
  display_name = display_name_;
  status.clear();
}

std::uint32_t SCManager::Fail(ScOperation operation, std::uint32_t code) {
  lastError = code;
  status = ScStatusText(operation, code);
  return code;
}

std::uint32_t SCManager::MissingManager() {
  status = u"Błędny uchwyt SCManager-a";
  return kInvalidHandle;
}

std::uint32_t SCManager::MissingService() {
  status = u"Błędny uchwyt serwisu";
  return kInvalidHandle;
}

std::uint32_t SCManager::OpenManager() {
  if (scm != nullptr) return 0;
  scm = os::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (scm == nullptr) return Fail(ScOperation::OpenManager, os::GetLastError());
  return 0;
}

std::uint32_t SCManager::CreateSvc(std::uint32_t startType, const std::u16string& sysfilename, const char16_t* grupa) {
  if (scm == nullptr) return MissingManager();
  CloseSvc();
  os::SetLastError(0);
  service = os::CreateServiceW(scm, service_name.c_str(), display_name.c_str(), SERVICE_ALL_ACCESS,
                               SERVICE_KERNEL_DRIVER, startType, SERVICE_ERROR_NORMAL, sysfilename.c_str(), grupa,
                               nullptr, nullptr, nullptr, nullptr);
  if (service == nullptr) return Fail(ScOperation::CreateSvc, os::GetLastError());
  return 0;
}

std::uint32_t SCManager::OpenSvc(std::uint32_t dwDesiredAccess) {
  if (scm == nullptr) return MissingManager();
  CloseSvc();
  service = os::OpenServiceW(scm, service_name.c_str(), dwDesiredAccess);
  if (service == nullptr) return Fail(ScOperation::OpenSvc, os::GetLastError());
  return 0;
}

std::uint32_t SCManager::StartSvc() {
  if (service == nullptr) return MissingService();
  if (!os::StartServiceW(service, 0, nullptr)) {
    return Fail(ScOperation::StartSvc, os::GetLastError());
  }
  return 0;
}

std::uint32_t SCManager::DeleteSvc() {
  if (service == nullptr) return MissingService();
  if (!os::DeleteService(service)) return Fail(ScOperation::DeleteSvc, os::GetLastError());
  return 0;
}

std::uint32_t SCManager::ControlSvc(std::uint32_t dwControl, SERVICE_STATUS* lpServiceStatus) {
  if (service == nullptr) return MissingService();
  if (!os::ControlService(service, dwControl, lpServiceStatus)) {
    return Fail(ScOperation::ControlSvc, os::GetLastError());
  }
  return 0;
}

std::uint32_t SCManager::QueryStatus(SERVICE_STATUS_PROCESS& ssp) {
  if (service == nullptr) return MissingService();
  DWORD needed = 0;
  static_assert(sizeof(SERVICE_STATUS_PROCESS) == 36);
  if (!os::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&ssp), sizeof ssp,
                                &needed)) {
    return Fail(ScOperation::QueryStatus, os::GetLastError());
  }
  return 0;
}

std::uint32_t SCManager::CloseSvc() { return CloseHandleSlot(service); }

std::uint32_t SCManager::CloseMan() { return CloseHandleSlot(scm); }

}  // namespace VostUsbWardenManager
