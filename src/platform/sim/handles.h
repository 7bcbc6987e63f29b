// The simulated host's handle table: every HANDLE of the process names one kernel object held
// here. Objects are shared (a duplicated handle would share the object); a handle closes once.
#pragma once

#include <memory>

#include "platform/os.h"

namespace os::sim {

// GetCurrentProcess's pseudo handle, (HANDLE)-1 as on Windows. It is not in the table: it needs
// no closing, and it means the calling process wherever a process handle is taken.
inline HANDLE current_process_pseudo_handle() { return INVALID_HANDLE_VALUE; }

// A kernel object of the simulated host. Derived classes hold the state of one object family.
class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // Whether WaitForSingleObject may wait on the object; a waitable object also implements wait().
  virtual bool waitable() const { return false; }
  // Waits up to `milliseconds` (INFINITE allowed); returns WAIT_OBJECT_0, WAIT_ABANDONED,
  // WAIT_TIMEOUT, or WAIT_FAILED with the last error set. By default: WAIT_FAILED with
  // ERROR_INVALID_HANDLE.
  virtual DWORD wait(DWORD milliseconds);
  // Whether the object calls object_signalled() (multiple_waits.h) whenever it becomes signalled,
  // so that WaitForMultipleObjects may wait on it.
  virtual bool tells_waiters() const { return false; }
};

// Adds an object and returns its new handle (never null, never INVALID_HANDLE_VALUE).
HANDLE add_handle(std::shared_ptr<KernelObject> object);

// The object behind a handle, or null (ERROR_INVALID_HANDLE is then set).
std::shared_ptr<KernelObject> find_handle(HANDLE handle);

// The object behind a handle if it is of type T, else null with ERROR_INVALID_HANDLE set.
template <class T>
std::shared_ptr<T> find_handle_as(HANDLE handle) {
  auto object = std::dynamic_pointer_cast<T>(find_handle(handle));
  if (!object) os::SetLastError(ERROR_INVALID_HANDLE);
  return object;
}

// Removes a handle; false (ERROR_INVALID_HANDLE) when it is not open.
bool remove_handle(HANDLE handle);

}  // namespace os::sim
