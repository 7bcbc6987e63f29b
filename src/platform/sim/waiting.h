// Waiting on a condition with a Win32 time-out (milliseconds, INFINITE for none).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/os.h"

namespace os::sim {

// Waits until `ready()` holds or the time-out passes; returns whether it holds.
template <class Ready>
bool wait_for_ms(std::condition_variable& changed, std::unique_lock<std::mutex>& lock, DWORD milliseconds,
                 Ready ready) {
  if (milliseconds == INFINITE) {
    changed.wait(lock, ready);
    return true;
  }
  return changed.wait_for(lock, std::chrono::milliseconds(milliseconds), ready);
}

}  // namespace os::sim
