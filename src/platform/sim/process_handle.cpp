#include "platform/sim/process_handle.h"

#include <unistd.h>

namespace os::sim {

DWORD ProcessHandle::wait(DWORD milliseconds) {
  if (!(access_ & SYNCHRONIZE)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return WAIT_FAILED;
  }
  return state_->wait(milliseconds);
}

DWORD process_rights(DWORD access) {
  if (access & GENERIC_ALL) access |= PROCESS_ALL_ACCESS;
  if (access & GENERIC_READ) access |= READ_CONTROL | PROCESS_VM_READ | PROCESS_QUERY_INFORMATION;
  if (access & GENERIC_WRITE) access |= READ_CONTROL;
  if (access & GENERIC_EXECUTE) access |= READ_CONTROL | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE;
  if (access & PROCESS_QUERY_INFORMATION) access |= PROCESS_QUERY_LIMITED_INFORMATION;
  return access & ~(GENERIC_ALL | GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE);
}

std::shared_ptr<ProcessState> process_for(HANDLE handle, DWORD all_of, DWORD any_of) {
  if (handle == current_process_pseudo_handle()) {
    DWORD error = ERROR_SUCCESS;
    auto self = ProcessState::open(::getpid(), error);
    if (!self) SetLastError(error);
    return self;
  }
  const auto process = find_handle_as<ProcessHandle>(handle);
  if (!process) return nullptr;
  const DWORD access = process->access();
  if ((access & all_of) != all_of || (any_of != 0 && (access & any_of) == 0)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return process->state();
}

}  // namespace os::sim
