// A mutex of the simulated host as the threads of one process see it: owned by one thread at a
// time, recursively, as Win32 mutexes are. A thread that ends while it owns the mutex abandons it;
// the next wait then succeeds with WAIT_ABANDONED. A named mutex also keeps the lock that makes
// its name exist for other processes (named_mutex.h) for as long as this process has a handle.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/os.h"
#include "platform/sim/posix_fd.h"

namespace os::sim {

class MutexState : public std::enable_shared_from_this<MutexState> {
 public:
  MutexState() = default;
  explicit MutexState(UniqueFd existence_lock) : existence_lock_(std::move(existence_lock)) {}
  MutexState(const MutexState&) = delete;
  MutexState& operator=(const MutexState&) = delete;

  // Takes ownership for the calling thread within `milliseconds`: WAIT_OBJECT_0, WAIT_ABANDONED
  // (taken, but its last owner ended without releasing it) or WAIT_TIMEOUT.
  DWORD acquire(DWORD milliseconds);
  // Gives up one level of the calling thread's ownership; false when that thread does not own it.
  bool release();
  // The thread `owner` ended: if it owned the mutex, the mutex becomes free and abandoned.
  void abandon(std::thread::id owner);

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::thread::id owner_;  // default-constructed: no owner
  unsigned long recursion_ = 0;
  bool abandoned_ = false;
  UniqueFd existence_lock_;
};

}  // namespace os::sim
