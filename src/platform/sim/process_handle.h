// Process handles: a process state with the access rights the handle was opened with.
#pragma once

#include <memory>

#include "platform/os.h"
#include "platform/sim/handles.h"
#include "platform/sim/process_state.h"

namespace os::sim {

// Query rights: either one will do for the calls that read facts about a process.
constexpr DWORD kAnyQueryRight = PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION;

class ProcessHandle : public KernelObject {
 public:
  ProcessHandle(std::shared_ptr<ProcessState> state, DWORD access) : state_(std::move(state)), access_(access) {}

  bool waitable() const override { return true; }
  DWORD wait(DWORD milliseconds) override;

  const std::shared_ptr<ProcessState>& state() const { return state_; }
  DWORD access() const { return access_; }

 private:
  std::shared_ptr<ProcessState> state_;
  DWORD access_;
};

// The generic rights as a process understands them; the full query right includes the limited one.
DWORD process_rights(DWORD access);

// The process behind a handle (GetCurrentProcess's pseudo handle included) when the handle has
// every right in `all_of` and, if `any_of` is not 0, one of `any_of`. Otherwise null, with
// ERROR_INVALID_HANDLE or ERROR_ACCESS_DENIED set (or the error of opening the current process).
std::shared_ptr<ProcessState> process_for(HANDLE handle, DWORD all_of, DWORD any_of);

}  // namespace os::sim
