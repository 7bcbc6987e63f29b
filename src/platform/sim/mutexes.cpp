// CreateMutexW, OpenMutexW and ReleaseMutex; waiting on a mutex goes through WaitForSingleObject.
#include <memory>
#include <string_view>

#include "platform/sim/handles.h"
#include "platform/sim/mutex_state.h"
#include "platform/sim/named_mutex.h"

namespace os {

namespace {

// The generic rights as a mutex understands them.
DWORD mutex_rights(DWORD access) {
  if (access & GENERIC_ALL) access |= MUTEX_ALL_ACCESS;
  if (access & GENERIC_READ) access |= READ_CONTROL | MUTEX_MODIFY_STATE;
  if (access & GENERIC_WRITE) access |= READ_CONTROL;
  if (access & GENERIC_EXECUTE) access |= READ_CONTROL | SYNCHRONIZE;
  return access & ~(GENERIC_ALL | GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE);
}

class MutexHandle : public sim::KernelObject {
 public:
  MutexHandle(std::shared_ptr<sim::MutexState> state, DWORD access) : state_(std::move(state)), access_(access) {}

  bool waitable() const override { return true; }
  DWORD wait(DWORD milliseconds) override {
    if (!(access_ & SYNCHRONIZE)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return WAIT_FAILED;
    }
    return state_->acquire(milliseconds);
  }

  BOOL release() {
    if (!(access_ & MUTEX_MODIFY_STATE)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (!state_->release()) {
      SetLastError(ERROR_NOT_OWNER);
      return FALSE;
    }
    return TRUE;
  }

 private:
  std::shared_ptr<sim::MutexState> state_;
  DWORD access_;
};

HANDLE add_mutex_handle(std::shared_ptr<sim::MutexState> state, DWORD access) {
  return sim::add_handle(std::make_shared<MutexHandle>(std::move(state), mutex_rights(access)));
}

}  // namespace

HANDLE CreateMutexW(SECURITY_ATTRIBUTES*, BOOL initial_owner, const char16_t* name) {
  if (name == nullptr || *name == u'\0') {
    auto state = std::make_shared<sim::MutexState>();
    if (initial_owner) state->acquire(0);
    HANDLE handle = add_mutex_handle(std::move(state), MUTEX_ALL_ACCESS);
    SetLastError(ERROR_SUCCESS);
    return handle;
  }
  sim::NamedMutex mutex = sim::create_named_mutex(name);
  if (!mutex.state) {
    SetLastError(mutex.error);
    return nullptr;
  }
  // Only the creator of a mutex receives the initial ownership it asks for.
  if (initial_owner && !mutex.existed) mutex.state->acquire(0);
  HANDLE handle = add_mutex_handle(std::move(mutex.state), MUTEX_ALL_ACCESS);
  SetLastError(mutex.existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

HANDLE OpenMutexW(DWORD access, BOOL, const char16_t* name) {
  if (name == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  sim::NamedMutex mutex = sim::open_named_mutex(name);
  if (!mutex.state) {
    SetLastError(mutex.error);
    return nullptr;
  }
  return add_mutex_handle(std::move(mutex.state), access);
}

BOOL ReleaseMutex(HANDLE mutex) {
  const auto handle = sim::find_handle_as<MutexHandle>(mutex);
  if (!handle) return FALSE;
  return handle->release();
}

}  // namespace os
