// "/start": the long-running guard. It holds the service mutex, serves commands on channel
// "default", brings the driver up and waits for a stop request, then takes the driver down.
#include "app/command_listener.h"
#include "app/run_modes.h"
#include "config/read_config.h"
#include "platform/handle.h"
#include "process/diagnostics.h"
#include "process/run_state.h"

namespace {

constexpr DWORD kStopPollMs = 5000;
constexpr DWORD kFailedStartPauseMs = 2000;
constexpr DWORD kEmergencyDelayMs = 20000;

os::unique_handle create_service_mutex() {
  const std::u16string name = u"Global\\" + std::u16string(kServiceMutex);
  os::unique_handle mutex(os::CreateMutexW(nullptr, FALSE, name.c_str()));
  if (mutex && os::GetLastError() == ERROR_ALREADY_EXISTS) mutex.reset();
  return mutex;
}

}  // namespace

BOOL run_service_mode() {
  if (global_mutex_exists(kServiceMutex)) return FALSE;
  const os::unique_handle service_mutex = create_service_mutex();
  g_thread_group.Start(thread_communication_default, nullptr);
  _COUT(u"*** USB STARTED.");
  read_config();

  DWORD emergency_delay = 1;
  if (!driver_start()) {
    emergency_delay = kEmergencyDelayMs;
    stop_requested = 1;
    os::Sleep(kFailedStartPauseMs);
  }
  while (!stop_requested) os::Sleep(kStopPollMs);

  _COUT(u"*** USB STOPPED.");
  g_thread_group.Start(force_termination, nullptr);
  driver_stop();
  if (emergency_delay > 10) {
    _COUT(u"Emergency delay...");
    os::Sleep(emergency_delay);
  }
  _COUT(u"Exit.");
  return FALSE;
}
