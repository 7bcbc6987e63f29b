// A process of the machine as this process knows it. It is held through a pidfd, so a wait ends
// exactly when the process ends and a process id that Linux gives to a new process is never
// mistaken for the old one. Facts that Windows keeps with the process object (its user, its
// image path) are read when it is opened and stay valid after it ends. On Windows they never
// change while the process runs; a Linux process may still execute another program or take on
// another user (as a test's helper does right after it starts), so while it runs each query
// reads them again. Its start time is read once, when it is opened: executing another program
// keeps it, as it keeps the id.
//
// All handles of this process to one running process share one state, so an exit code recorded
// through one handle is seen through all. A child started by this process is reaped (its exit
// code taken, no zombie left) as soon as a wait or a query sees that it has ended, or, when its
// last handle closes while it still runs, by a small thread that waits for it.
#pragma once

#include <sys/types.h>

#include <memory>
#include <mutex>
#include <optional>

#include "platform/os.h"
#include "platform/sim/posix_fd.h"
#include "platform/sim/proc_files.h"

namespace os::sim {

// What GetProcessTimes gives: the start and the end as times of day, the time spent in kernel and
// in user mode as durations (all in 100-nanosecond steps).
struct ProcessTimes {
  FILETIME creation{};
  FILETIME exit{};  // zero while the process runs
  FILETIME kernel{};
  FILETIME user{};
};

class ProcessState {
 public:
  // A running process; null with `error` ERROR_INVALID_PARAMETER when there is none by that id
  // (or it has ended), as OpenProcess reports it.
  static std::shared_ptr<ProcessState> open(pid_t pid, DWORD& error);
  // A child that this process has just started; `image` is the path it was started from.
  static std::shared_ptr<ProcessState> adopt_child(pid_t pid, UniqueFd pidfd, const std::string& image);

  ProcessState(const ProcessState&) = delete;
  ProcessState& operator=(const ProcessState&) = delete;
  ~ProcessState();

  pid_t pid() const { return pid_; }
  uid_t owner() const;
  // The executable's Linux path, or the errno that kept it from being read.
  ImagePath image() const;

  // The start time stays; the times spent are read again while the process runs and kept after;
  // the end is the moment this process first saw that it had ended.
  ProcessTimes times();

  bool has_ended();
  // WAIT_OBJECT_0 once the process has ended, WAIT_TIMEOUT, or WAIT_FAILED.
  DWORD wait(DWORD milliseconds);
  // STILL_ACTIVE while the process runs. After the end: a child's own exit status (the code given
  // to TerminateProcess when this process killed it; 128 + the signal number when something else
  // killed it); for any other process the code given to TerminateProcess here, else 0, because
  // Linux tells the exit status only to the parent.
  DWORD exit_code();
  // Kills the process (SIGKILL) and records `code` as its exit code. ERROR_SUCCESS, or
  // ERROR_ACCESS_DENIED when it has already ended or may not be signalled.
  DWORD terminate(UINT code);

 private:
  ProcessState(pid_t pid, UniqueFd pidfd, bool child, uid_t owner, ImagePath image, FILETIME creation);
  bool ended_locked();
  // Reads the user and the image again while the process runs; keeps the last ones after.
  void refresh_facts() const;

  const pid_t pid_;
  const bool child_;
  mutable std::mutex facts_lock_;
  mutable uid_t owner_;
  mutable ImagePath image_;
  ProcessTimes times_;  // under lock_; its creation time never changes
  std::mutex lock_;
  UniqueFd pidfd_;
  bool ended_ = false;
  bool reaped_ = false;
  std::optional<DWORD> exit_status_;     // a child's, once reaped
  std::optional<DWORD> terminate_code_;  // given to TerminateProcess here
};

}  // namespace os::sim
