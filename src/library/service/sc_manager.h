// The service control manager for one kernel-driver service: opens the manager, creates, opens,
// starts, controls, queries and deletes the service, and turns every failure into a Polish status
// text. It does no waiting of its own. The object owns both handles and closes them (the service
// first) when destroyed.
#pragma once

#include <cstdint>
#include <string>

#include "library/service/sc_status_texts.h"
#include "platform/os.h"

namespace VostUsbWardenManager {

class SCManager {
 public:
  SCManager() { init(u"", u""); }
  SCManager(const SCManager&) = delete;
  SCManager& operator=(const SCManager&) = delete;
  virtual ~SCManager();

  // Forgets both handles without closing them, copies the names and empties the status text.
  void init(const std::u16string& service_name, const std::u16string& display_name);

  // Each returns 0 or a Windows error code; on failure getStatus() gives the text. A missing
  // handle is reported (6) before any system call.
  std::uint32_t OpenManager();
  // A kernel driver with normal error control; `grupa` is the load-order group (null: none).
  std::uint32_t CreateSvc(std::uint32_t startType, const std::u16string& sysfilename, const char16_t* grupa);
  std::uint32_t OpenSvc(std::uint32_t dwDesiredAccess);
  std::uint32_t StartSvc();
  // The handle stays open.
  std::uint32_t DeleteSvc();
  std::uint32_t ControlSvc(std::uint32_t dwControl, SERVICE_STATUS* lpServiceStatus);
  std::uint32_t QueryStatus(SERVICE_STATUS_PROCESS& ssp);
  // 0 for a closed handle; on a failed close the handle is kept and the error returned.
  std::uint32_t CloseSvc();
  std::uint32_t CloseMan();

  const std::u16string& getStatus() const { return status; }
  std::uint32_t getLastError() const { return lastError; }
  bool IsManagerOpen() const { return scm != nullptr; }
  bool IsServiceOpen() const { return service != nullptr; }

 private:
  // Records a failed call's code and text; returns the code.
  std::uint32_t Fail(ScOperation operation, std::uint32_t code);
  std::uint32_t MissingManager();
  std::uint32_t MissingService();

  std::uint32_t lastError = 0;
  SC_HANDLE scm = nullptr;
  SC_HANDLE service = nullptr;
  std::u16string service_name;
  std::u16string display_name;
  std::u16string status;
};

}  // namespace VostUsbWardenManager
