// The facade's service operations: install, uninstall, start and stop, with their waiting loops.
// Every loop is bounded by wait_limit_ms, so a service that never leaves a pending state (or never
// appears, or never goes) cannot hold the caller for ever.
#include "library/manager.h"

#include "library/czekaj.h"
#include "library/service/sc_status_texts.h"

namespace VostUsbWardenManager {

namespace {

constexpr DWORD kServiceDelete = 0x10000;  // DELETE
constexpr std::uint32_t kRequestTimeout = 1053;  // ERROR_SERVICE_REQUEST_TIMEOUT

bool IsPending(DWORD state) {
  return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING || state == SERVICE_CONTINUE_PENDING ||
         state == SERVICE_PAUSE_PENDING;
}

// Measures a waiting loop against its bound.
class WaitBound {
 public:
  explicit WaitBound(std::uint32_t limit_ms) : started_(os::GetTickCount()), limit_ms_(limit_ms) {}
  bool Exceeded() const { return os::GetTickCount() - started_ >= limit_ms_; }

 private:
  DWORD started_;
  std::uint32_t limit_ms_;
};

}  // namespace

std::uint32_t Manager::ScResult(std::uint32_t r, std::u16string& status_text) const {
  if (r != 0) status_text = scm.getStatus();
  return r;
}

std::uint32_t Manager::Install(std::uint32_t waitForPending, const char16_t* filepath, const char16_t* cfgFile,
                               const char16_t* admittancesFolder, std::uint32_t startType, const char16_t* grupa,
                               const WardenConfig* cfg, const AdmittanceList* admitts, std::u16string& status_text,
                               bool active, void* context, callBack cb) {
  WardenConfig local;
  if (cfg != nullptr) {
    local = *cfg;
    if (admitts != nullptr) local.admittances = *admitts;
  } else {
    SetDefaultWardenConfig(local, admitts);
  }

  if (const std::uint32_t r = ScResult(scm.OpenManager(), status_text)) return r;
  if (const std::uint32_t r = ScResult(scm.CreateSvc(startType, filepath, grupa), status_text)) {
    scm.CloseMan();
    return r;
  }
  if (waitForPending != 0) {
    const WaitBound bound(wait_limit_ms);
    while (const std::uint32_t r = scm.OpenSvc(SERVICE_QUERY_STATUS)) {
      if (cb != nullptr) cb(r, context);
      Czekaj(waitForPending);
      if (bound.Exceeded()) {
        status_text = ScStatusText(ScOperation::ControlSvc, kRequestTimeout);
        scm.CloseMan();
        return kRequestTimeout;
      }
    }
    scm.CloseSvc();
  }
  scm.CloseMan();

  if (const std::uint32_t r = SaveRegistryValues(cfgFile, admittancesFolder, active, status_text)) {
    scm.CloseSvc();
    scm.CloseMan();
    return r;
  }
  return SaveConfig(&local, status_text);
}

std::uint32_t Manager::Uninstall(std::uint32_t waitForPending, std::u16string& status_text, void* context,
                                 callBack cb) {
  if (const std::uint32_t r = ScResult(scm.OpenManager(), status_text)) return r;
  if (const std::uint32_t r = ScResult(scm.OpenSvc(kServiceDelete), status_text)) {
    scm.CloseMan();
    return r;
  }
  const std::uint32_t deleted = ScResult(scm.DeleteSvc(), status_text);
  scm.CloseSvc();
  if (deleted != 0) {
    scm.CloseMan();
    return deleted;
  }
  if (waitForPending != 0) {
    const WaitBound bound(wait_limit_ms);
    for (;;) {
      const std::uint32_t r = scm.OpenSvc(SERVICE_QUERY_STATUS);
      if (r == ERROR_SERVICE_DOES_NOT_EXIST) break;
      if (ScResult(r, status_text) != 0) {
        // The service cannot be watched any more (the manager refused or went away): say so
        // rather than wait for a disappearance nobody can see.
        scm.CloseMan();
        return r;
      }
      if (cb != nullptr) cb(0, context);
      scm.CloseSvc();
      Czekaj(waitForPending);
      if (bound.Exceeded()) {
        status_text = ScStatusText(ScOperation::ControlSvc, kRequestTimeout);
        scm.CloseMan();
        return kRequestTimeout;
      }
    }
  }
  scm.CloseMan();
  return 0;
}

std::uint32_t Manager::WaitWhilePending(std::uint32_t waitForPending, std::u16string& status_text, void* context,
                                        callBack cb, std::u16string_view timeout_text) {
  const WaitBound bound(wait_limit_ms);
  for (;;) {
    SERVICE_STATUS_PROCESS ssp{};
    if (const std::uint32_t r = ScResult(scm.QueryStatus(ssp), status_text)) return r;
    const bool pending = IsPending(ssp.dwCurrentState);
    if (pending && cb != nullptr) cb(ssp.dwCurrentState, context);
    Czekaj(waitForPending);
    if (!pending) {
      if (cb != nullptr) cb(ssp.dwCurrentState, context);
      return 0;
    }
    if (bound.Exceeded()) {
      status_text = timeout_text;
      return kRequestTimeout;
    }
  }
}

std::uint32_t Manager::Start(std::uint32_t waitForPending, std::u16string& status_text, void* context,
                             callBack cb) {
  if (const std::uint32_t r = ScResult(scm.OpenManager(), status_text)) return r;
  const std::uint32_t opened = ScResult(scm.OpenSvc(SERVICE_QUERY_STATUS | SERVICE_START), status_text);
  scm.CloseMan();
  if (opened != 0) return opened;
  if (const std::uint32_t r = ScResult(scm.StartSvc(), status_text)) {
    scm.CloseSvc();
    return r;
  }
  std::uint32_t result = 0;
  if (waitForPending != 0) {
    result = WaitWhilePending(waitForPending, status_text, context, cb,
                              ScStatusText(ScOperation::StartSvc, kRequestTimeout));
  }
  scm.CloseSvc();
  return result;
}

std::uint32_t Manager::Stop(std::uint32_t waitForPending, std::u16string& status_text, void* context, callBack cb) {
  if (!Detach(status_text)) return os::GetLastError();
  if (ScResult(scm.OpenManager(), status_text) != 0) return 0;
  const std::uint32_t opened = ScResult(scm.OpenSvc(SERVICE_QUERY_STATUS | SERVICE_STOP), status_text);
  scm.CloseMan();
  if (opened != 0) return 0;
  SERVICE_STATUS ss{};
  if (ScResult(scm.ControlSvc(SERVICE_CONTROL_STOP, &ss), status_text) != 0) {
    scm.CloseSvc();
    return 0;
  }
  std::uint32_t result = 0;
  if (waitForPending != 0) {
    result = WaitWhilePending(waitForPending, status_text, context, cb,
                              ScStatusText(ScOperation::ControlSvc, kRequestTimeout));
  }
  scm.CloseSvc();
  return result;
}

}  // namespace VostUsbWardenManager
