// Process-wide run state: the stop and uninstall requests, the thread group in which the process
// starts its worker threads, the watchdog, the run-mode mutex test and the command-line switches.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/os.h"

// Set from 0 to 1 only: on "stop" and "uninstall", and when the driver cannot be brought up.
extern std::atomic<int> stop_requested;
// Set to 1 together with stop_requested on "uninstall".
extern std::atomic<int> uninstall_requested;

// A bounded set of worker threads (at most `limit` live at once).
class CThreadGroup {
 public:
  using ThreadProc = UINT (*)(void* param);
  class Thread;

  explicit CThreadGroup(unsigned limit = 100);
  CThreadGroup(const CThreadGroup&) = delete;
  CThreadGroup& operator=(const CThreadGroup&) = delete;
  // Joins the threads that have finished. Threads still running are let go: the process is ending,
  // and the operating system ends them with it.
  ~CThreadGroup();

  // Starts `proc(param)` once fewer than `limit` threads are listed (reaping finished ones every
  // 10 ms meanwhile). Returns the thread, or null when it cannot be created.
  Thread* Start(ThreadProc proc, void* param);
  // Removes every finished thread.
  void Reap();
  std::size_t Count();

 private:
  unsigned limit;
  std::vector<std::unique_ptr<Thread>> threads;
  std::mutex lock;
};

extern CThreadGroup g_thread_group;

// Watchdog: sleeps 30000 ms, writes "! Force process termination." and ends the process with 0.
UINT force_termination(void* param);

// Whether the named mutex exists in the Global\ namespace: OpenMutexW gives a handle, or is
// refused with ERROR_ACCESS_DENIED.
int global_mutex_exists(std::u16string_view name);

// Finds `switch_text` anywhere in the lower-cased command line. A switch ending in ":" takes a
// value: up to the next double quote when it starts with one, else up to the next blank, or to
// the end. The value comes back lower-cased. Returns 1 when found.
int get_cmdline_switch(std::u16string_view command_line, std::u16string_view switch_text, std::u16string& value);
