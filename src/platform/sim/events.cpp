// Events: unnamed and in-process, with manual and automatic reset.
#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/sim/handles.h"
#include "platform/sim/multiple_waits.h"
#include "platform/sim/waiting.h"

namespace os {

namespace {

class EventState {
 public:
  EventState(bool manual_reset, bool signalled) : manual_reset_(manual_reset), signalled_(signalled) {}

  void set() {
    {
      std::lock_guard guard(lock_);
      signalled_ = true;
    }
    // An automatic event lets one waiter through; each woken waiter tests again under the lock.
    if (manual_reset_) {
      changed_.notify_all();
    } else {
      changed_.notify_one();
    }
    sim::object_signalled();
  }

  void reset() {
    std::lock_guard guard(lock_);
    signalled_ = false;
  }

  DWORD wait(DWORD milliseconds) {
    std::unique_lock guard(lock_);
    if (!sim::wait_for_ms(changed_, guard, milliseconds, [&] { return signalled_; })) return WAIT_TIMEOUT;
    if (!manual_reset_) signalled_ = false;
    return WAIT_OBJECT_0;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  const bool manual_reset_;
  bool signalled_;
};

class EventHandle : public sim::KernelObject {
 public:
  EventHandle(bool manual_reset, bool signalled) : state_(manual_reset, signalled) {}

  bool waitable() const override { return true; }
  DWORD wait(DWORD milliseconds) override { return state_.wait(milliseconds); }
  bool tells_waiters() const override { return true; }
  EventState& state() { return state_; }

 private:
  EventState state_;
};

}  // namespace

HANDLE CreateEventW(SECURITY_ATTRIBUTES*, BOOL manual_reset, BOOL initial_state, const char16_t* name) {
  if (name != nullptr && *name != u'\0') {
    // Named events would need a cross-process signal; nothing on this host uses one yet.
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  HANDLE handle = sim::add_handle(std::make_shared<EventHandle>(manual_reset != FALSE, initial_state != FALSE));
  SetLastError(ERROR_SUCCESS);
  return handle;
}

BOOL SetEvent(HANDLE event) {
  const auto handle = sim::find_handle_as<EventHandle>(event);
  if (!handle) return FALSE;
  handle->state().set();
  return TRUE;
}

BOOL ResetEvent(HANDLE event) {
  const auto handle = sim::find_handle_as<EventHandle>(event);
  if (!handle) return FALSE;
  handle->state().reset();
  return TRUE;
}

}  // namespace os
