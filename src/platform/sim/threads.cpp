// Threads: real threads of the process behind thread handles. A thread created suspended waits at
// its start until ResumeThread lets it run (or TerminateThread lets it go without running).
#include <sys/syscall.h>
#include <unistd.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/sim/handles.h"
#include "platform/sim/multiple_waits.h"
#include "platform/sim/waiting.h"

namespace os {

namespace {

// What the thread and its handles share; it outlives whichever ends first.
class ThreadState {
 public:
  explicit ThreadState(DWORD suspend_count) : suspend_count_(suspend_count), started_(suspend_count == 0) {}

  // On the new thread: its id, then the wait until it may run; false when it was terminated.
  bool begin() {
    std::unique_lock guard(lock_);
    id_ = static_cast<DWORD>(::syscall(SYS_gettid));
    changed_.notify_all();
    changed_.wait(guard, [&] { return suspend_count_ == 0 || finished_; });
    return !finished_;
  }

  // The exit code is not kept: nothing here asks for it.
  void finish() {
    {
      std::lock_guard guard(lock_);
      if (finished_) return;
      finished_ = true;
    }
    changed_.notify_all();
    sim::object_signalled();
  }

  DWORD id() {
    std::unique_lock guard(lock_);
    changed_.wait(guard, [&] { return id_ != 0; });
    return id_;
  }

  DWORD resume() {
    std::lock_guard guard(lock_);
    const DWORD previous = suspend_count_;
    if (suspend_count_ > 0 && --suspend_count_ == 0 && !finished_) {
      started_ = true;
      changed_.notify_all();
    }
    return previous;
  }

  bool terminate_unstarted() {
    {
      std::lock_guard guard(lock_);
      if (started_) return false;
      if (finished_) return true;
      finished_ = true;
    }
    changed_.notify_all();
    sim::object_signalled();
    return true;
  }

  DWORD wait(DWORD milliseconds) {
    std::unique_lock guard(lock_);
    return sim::wait_for_ms(changed_, guard, milliseconds, [&] { return finished_; }) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  DWORD suspend_count_;
  bool started_;
  bool finished_ = false;
  DWORD id_ = 0;
};

class ThreadHandle : public sim::KernelObject {
 public:
  explicit ThreadHandle(std::shared_ptr<ThreadState> state) : state_(std::move(state)) {}
  bool waitable() const override { return true; }
  bool tells_waiters() const override { return true; }
  DWORD wait(DWORD milliseconds) override { return state_->wait(milliseconds); }
  ThreadState& state() { return *state_; }

 private:
  std::shared_ptr<ThreadState> state_;
};

}  // namespace

HANDLE CreateThread(SECURITY_ATTRIBUTES*, SIZE_T, LPTHREAD_START_ROUTINE start, void* parameter, DWORD flags,
                    DWORD* thread_id) {
  if (start == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto state = std::make_shared<ThreadState>((flags & CREATE_SUSPENDED) ? 1 : 0);
  try {
    std::thread([state, start, parameter] {
      if (state->begin()) {
        start(parameter);
        state->finish();
      }
    }).detach();
  } catch (const std::system_error&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  const DWORD id = state->id();
  if (thread_id) *thread_id = id;
  HANDLE handle = sim::add_handle(std::make_shared<ThreadHandle>(std::move(state)));
  SetLastError(ERROR_SUCCESS);
  return handle;
}

DWORD ResumeThread(HANDLE thread) {
  const auto handle = sim::find_handle_as<ThreadHandle>(thread);
  if (!handle) return 0xFFFFFFFF;
  return handle->state().resume();
}

BOOL TerminateThread(HANDLE thread, DWORD) {
  const auto handle = sim::find_handle_as<ThreadHandle>(thread);
  if (!handle) return FALSE;
  if (handle->state().terminate_unstarted()) return TRUE;
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

}  // namespace os
