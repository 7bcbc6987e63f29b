// CloseHandle and WaitForSingleObject for every kind of object in the handle table.
#include <chrono>
#include <thread>

#include "platform/sim/handles.h"

namespace os {

BOOL CloseHandle(HANDLE handle) {
  // Closing the pseudo handle of the current process has no effect, as on Windows.
  if (handle == sim::current_process_pseudo_handle()) return TRUE;
  return sim::remove_handle(handle) ? TRUE : FALSE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  if (handle == sim::current_process_pseudo_handle()) {
    // The calling process cannot end while it waits on itself: the wait only times out.
    if (milliseconds == INFINITE) {
      for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return WAIT_TIMEOUT;
  }
  const auto object = sim::find_handle(handle);
  if (!object) return WAIT_FAILED;
  if (!object->waitable()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return object->wait(milliseconds);
}

}  // namespace os
