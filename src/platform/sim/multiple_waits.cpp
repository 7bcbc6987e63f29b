// WaitForMultipleObjects: any one of several events and threads.
#include "platform/sim/multiple_waits.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/sim/handles.h"

namespace os::sim {

namespace {

// Never destroyed: a thread that ends while the process exits still signals through them after
// the static destructors have run.
std::mutex& signals_lock() {
  static auto* lock = new std::mutex;
  return *lock;
}

std::condition_variable& signals() {
  static auto* changed = new std::condition_variable;
  return *changed;
}

}  // namespace

void object_signalled() {
  std::lock_guard guard(signals_lock());
  signals().notify_all();
}

}  // namespace os::sim

namespace os {

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::vector<std::shared_ptr<sim::KernelObject>> objects;
  for (DWORD i = 0; i < count; ++i) {
    auto object = sim::find_handle(handles[i]);
    if (!object) return WAIT_FAILED;
    if (!object->waitable() || !object->tells_waiters() || wait_all) {
      SetLastError(ERROR_NOT_SUPPORTED);
      return WAIT_FAILED;
    }
    objects.push_back(std::move(object));
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  std::unique_lock guard(sim::signals_lock());
  for (;;) {
    // The lowest signalled index wins, as on Windows; a zero wait takes an automatic event.
    for (DWORD i = 0; i < count; ++i) {
      const DWORD result = objects[i]->wait(0);
      if (result == WAIT_OBJECT_0) return WAIT_OBJECT_0 + i;
      if (result == WAIT_FAILED) return WAIT_FAILED;
    }
    if (milliseconds == INFINITE) {
      sim::signals().wait(guard);
    } else if (sim::signals().wait_until(guard, deadline) == std::cv_status::timeout) {
      for (DWORD i = 0; i < count; ++i) {
        if (objects[i]->wait(0) == WAIT_OBJECT_0) return WAIT_OBJECT_0 + i;
      }
      return WAIT_TIMEOUT;
    }
  }
}

}  // namespace os
