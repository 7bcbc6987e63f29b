#include "platform/sim/process_state.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <thread>
#include <unordered_map>

#include "platform/sim/errors.h"
#include "platform/sim/file_info.h"
#include "platform/sim/pidfd.h"

namespace os::sim {

namespace {

// The states of the processes this process has open, by id, so that its handles share them.
struct Registry {
  std::mutex lock;
  std::unordered_map<pid_t, std::weak_ptr<ProcessState>> by_pid;
};

Registry& registry() {
  static Registry* r = new Registry;  // lives until exit: handles may close in late destructors
  return *r;
}

void remember(const std::shared_ptr<ProcessState>& state) {
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  std::erase_if(r.by_pid, [](const auto& entry) { return entry.second.expired(); });
  r.by_pid[state->pid()] = state;
}

std::shared_ptr<ProcessState> remembered(pid_t pid) {
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  const auto it = r.by_pid.find(pid);
  return it == r.by_pid.end() ? nullptr : it->second.lock();
}

// Whether the pidfd reports its process as ended, waiting up to `milliseconds`.
bool poll_ended(int pidfd, DWORD milliseconds) {
  using clock = std::chrono::steady_clock;
  const auto deadline = clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    int timeout = -1;
    if (milliseconds != INFINITE) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
      timeout = static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
    }
    pollfd entry{pidfd, POLLIN, 0};
    const int ready = ::poll(&entry, 1, timeout);
    if (ready > 0) return true;
    if (ready == 0) {
      if (milliseconds == INFINITE || clock::now() >= deadline) return false;
      continue;  // poll's time-out is capped at INT_MAX ms
    }
    if (errno != EINTR) return true;  // a broken pidfd cannot report a running process
  }
}

// Clock ticks as 100-nanosecond steps.
std::uint64_t ticks_in_steps(unsigned long long ticks) {
  static const auto per_second = static_cast<std::uint64_t>(::sysconf(_SC_CLK_TCK));
  return static_cast<std::uint64_t>(ticks) * 10000000 / (per_second == 0 ? 100 : per_second);
}

FILETIME as_filetime(std::uint64_t steps) { return FILETIME{static_cast<DWORD>(steps), static_cast<DWORD>(steps >> 32)}; }

std::uint64_t steps_of(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME now_as_filetime() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return to_filetime(now);
}

// The moment Linux started, as a time of day; taken once, so that a process's start time reads the
// same at every call even when the clock is set meanwhile.
std::uint64_t boot_steps() {
  static const std::uint64_t boot = [] {
    timespec since_boot{};
    ::clock_gettime(CLOCK_BOOTTIME, &since_boot);
    const std::uint64_t now = steps_of(now_as_filetime());
    const std::uint64_t up = static_cast<std::uint64_t>(since_boot.tv_sec) * 10000000 +
                             static_cast<std::uint64_t>(since_boot.tv_nsec) / 100;
    return now > up ? now - up : 0;
  }();
  return boot;
}

FILETIME start_time(const ProcStat& stat) { return as_filetime(boot_steps() + ticks_in_steps(stat.start_ticks)); }

DWORD exit_code_of(const siginfo_t& info) {
  if (info.si_code == CLD_EXITED) return static_cast<DWORD>(info.si_status);
  return 128 + static_cast<DWORD>(info.si_status);
}

}  // namespace

ProcessState::ProcessState(pid_t pid, UniqueFd pidfd, bool child, uid_t owner, ImagePath image, FILETIME creation)
    : pid_(pid), child_(child), owner_(owner), image_(std::move(image)), pidfd_(std::move(pidfd)) {
  times_.creation = creation;
}

std::shared_ptr<ProcessState> ProcessState::open(pid_t pid, DWORD& error) {
  error = ERROR_SUCCESS;
  if (auto shared = remembered(pid); shared && !shared->has_ended()) return shared;
  UniqueFd pidfd(open_pidfd(pid));
  if (!pidfd) {
    // No such process, or a thread that does not lead its process.
    error = (errno == ESRCH || errno == EINVAL) ? ERROR_INVALID_PARAMETER : win32_error_from_errno(errno);
    return nullptr;
  }
  const auto owner = read_effective_uid(pid);
  ImagePath image = read_image_path(pid);
  const auto stat = read_proc_stat(pid);
  // Read first, test after: while the pidfd reports the process running, the id was still its own
  // when /proc was read. A zombie counts as ended.
  if (!owner || !stat || poll_ended(pidfd.get(), 0)) {
    error = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  std::shared_ptr<ProcessState> state(
      new ProcessState(pid, std::move(pidfd), false, *owner, std::move(image), start_time(*stat)));
  remember(state);
  return state;
}

std::shared_ptr<ProcessState> ProcessState::adopt_child(pid_t pid, UniqueFd pidfd, const std::string& image) {
  ImagePath read = read_image_path(pid);
  if (read.error != 0) read = {image, 0};  // it may already have ended; it ran this file
  const uid_t owner = read_effective_uid(pid).value_or(::geteuid());
  // Until it is reaped its /proc entry stays, ended or not.
  const auto stat = read_proc_stat(pid);
  const FILETIME creation = stat ? start_time(*stat) : now_as_filetime();
  std::shared_ptr<ProcessState> state(new ProcessState(pid, std::move(pidfd), true, owner, std::move(read), creation));
  remember(state);
  return state;
}

void ProcessState::refresh_facts() const {
  const auto owner = read_effective_uid(pid_);
  ImagePath image = read_image_path(pid_);
  // Read first, test after, as when opening: while the process runs, the id was still its own.
  if (!owner || poll_ended(pidfd_.get(), 0)) return;
  owner_ = *owner;
  if (image.error == 0 || image_.error != 0) image_ = std::move(image);
}

uid_t ProcessState::owner() const {
  std::lock_guard guard(facts_lock_);
  refresh_facts();
  return owner_;
}

ImagePath ProcessState::image() const {
  std::lock_guard guard(facts_lock_);
  refresh_facts();
  return image_;
}

ProcessState::~ProcessState() {
  if (!child_ || reaped_) return;
  siginfo_t info{};
  const int waited = ::waitid(P_PIDFD, static_cast<id_t>(pidfd_.get()), &info, WEXITED | WNOHANG);
  if (waited != 0 || info.si_pid != 0) return;  // reaped now, or not ours to reap
  // Still running: a small thread reaps it when it ends, so no zombie stays behind.
  try {
    std::thread([pidfd = pidfd_.release()] {
      siginfo_t status{};
      while (::waitid(P_PIDFD, static_cast<id_t>(pidfd), &status, WEXITED) != 0 && errno == EINTR) {
      }
      ::close(pidfd);
    }).detach();
  } catch (...) {
    // Without a thread the child stays a zombie until this process ends; nothing else is lost.
  }
}

ProcessTimes ProcessState::times() {
  const auto stat = read_proc_stat(pid_);
  std::lock_guard guard(lock_);
  // Read first, test after, as when opening.
  if (stat && !ended_locked()) {
    times_.kernel = as_filetime(ticks_in_steps(stat->kernel_ticks));
    times_.user = as_filetime(ticks_in_steps(stat->user_ticks));
  }
  return times_;
}

bool ProcessState::ended_locked() {
  if (ended_) return true;
  if (!poll_ended(pidfd_.get(), 0)) return false;
  ended_ = true;
  times_.exit = now_as_filetime();
  if (child_) {
    // It has ended, so this wait returns at once.
    siginfo_t info{};
    int waited;
    while ((waited = ::waitid(P_PIDFD, static_cast<id_t>(pidfd_.get()), &info, WEXITED)) != 0 && errno == EINTR) {
    }
    reaped_ = true;  // by this wait, or (when it failed) by somebody else who took the status
    if (waited == 0) {
      const bool killed_here = info.si_code != CLD_EXITED && info.si_status == SIGKILL && terminate_code_;
      exit_status_ = killed_here ? *terminate_code_ : exit_code_of(info);
    }
  }
  return true;
}

bool ProcessState::has_ended() {
  std::lock_guard guard(lock_);
  return ended_locked();
}

DWORD ProcessState::wait(DWORD milliseconds) {
  // The pidfd never changes while the state lives, so the long wait needs no lock.
  if (!poll_ended(pidfd_.get(), milliseconds)) return WAIT_TIMEOUT;
  has_ended();  // reaps a child
  return WAIT_OBJECT_0;
}

DWORD ProcessState::exit_code() {
  std::lock_guard guard(lock_);
  if (!ended_locked()) return STILL_ACTIVE;
  if (exit_status_) return *exit_status_;
  return terminate_code_.value_or(0);
}

DWORD ProcessState::terminate(UINT code) {
  std::lock_guard guard(lock_);
  if (ended_locked()) return ERROR_ACCESS_DENIED;  // as Windows answers for an ended process
  if (send_signal_to_pidfd(pidfd_.get(), SIGKILL) != 0) {
    return errno == ESRCH ? ERROR_ACCESS_DENIED : win32_error_from_errno(errno);
  }
  if (!terminate_code_) terminate_code_ = code;
  return ERROR_SUCCESS;
}

}  // namespace os::sim
