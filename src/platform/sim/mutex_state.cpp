#include "platform/sim/mutex_state.h"

#include <algorithm>
#include <vector>

#include "platform/sim/waiting.h"

namespace os::sim {

namespace {

// The mutexes the calling thread owns; when the thread ends, they are abandoned.
class OwnedByThisThread {
 public:
  ~OwnedByThisThread() {
    const auto self = std::this_thread::get_id();
    for (auto& weak : owned_) {
      if (auto mutex = weak.lock()) mutex->abandon(self);
    }
  }
  void add(std::weak_ptr<MutexState> mutex) { owned_.push_back(std::move(mutex)); }
  void remove(const MutexState* mutex) {
    std::erase_if(owned_, [&](const std::weak_ptr<MutexState>& weak) {
      auto held = weak.lock();
      return !held || held.get() == mutex;
    });
  }

 private:
  std::vector<std::weak_ptr<MutexState>> owned_;
};

OwnedByThisThread& owned_by_this_thread() {
  thread_local OwnedByThisThread owned;
  return owned;
}

}  // namespace

DWORD MutexState::acquire(DWORD milliseconds) {
  const auto self = std::this_thread::get_id();
  std::unique_lock guard(lock_);
  if (owner_ == self) {
    ++recursion_;
    return WAIT_OBJECT_0;
  }
  if (!wait_for_ms(changed_, guard, milliseconds, [&] { return recursion_ == 0; })) return WAIT_TIMEOUT;
  owner_ = self;
  recursion_ = 1;
  const bool was_abandoned = std::exchange(abandoned_, false);
  guard.unlock();
  owned_by_this_thread().add(weak_from_this());
  return was_abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

bool MutexState::release() {
  std::unique_lock guard(lock_);
  if (recursion_ == 0 || owner_ != std::this_thread::get_id()) return false;
  if (--recursion_ > 0) return true;
  owner_ = std::thread::id();
  guard.unlock();
  changed_.notify_all();
  owned_by_this_thread().remove(this);
  return true;
}

void MutexState::abandon(std::thread::id owner) {
  {
    std::lock_guard guard(lock_);
    if (recursion_ == 0 || owner_ != owner) return;
    owner_ = std::thread::id();
    recursion_ = 0;
    abandoned_ = true;
  }
  changed_.notify_all();
}

}  // namespace os::sim
