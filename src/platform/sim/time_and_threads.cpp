// Time and threads: the machine's tick count, local time, sleeping and thread ids.
#include <sys/syscall.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/os.h"
#include "platform/sim/machine_clock.h"

namespace os {

DWORD GetTickCount() {
  // Wraps after 49.7 days, as on Windows.
  return static_cast<DWORD>(sim::machine_uptime_ms());
}

void GetLocalTime(SYSTEMTIME* time) {
  if (!time) return;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  ::localtime_r(&now.tv_sec, &local);
  time->wYear = static_cast<WORD>(local.tm_year + 1900);
  time->wMonth = static_cast<WORD>(local.tm_mon + 1);
  time->wDayOfWeek = static_cast<WORD>(local.tm_wday);
  time->wDay = static_cast<WORD>(local.tm_mday);
  time->wHour = static_cast<WORD>(local.tm_hour);
  time->wMinute = static_cast<WORD>(local.tm_min);
  time->wSecond = static_cast<WORD>(local.tm_sec > 59 ? 59 : local.tm_sec);  // no leap second on Windows
  time->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    ::sched_yield();
    return;
  }
  do {
    // INFINITE sleeps for good, a day at a time.
    const DWORD step = milliseconds == INFINITE ? 86400000u : milliseconds;
    timespec remaining{static_cast<time_t>(step / 1000), static_cast<long>(step % 1000) * 1000000};
    while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
  } while (milliseconds == INFINITE);
}

DWORD GetCurrentThreadId() { return static_cast<DWORD>(::syscall(SYS_gettid)); }

}  // namespace os
