// Named mutexes across the processes of the simulated machine. A name exists while some process
// holds a handle to it: each such process keeps a read lock (an open-file-description lock, which
// belongs to the open file and goes away when the last descriptor to it is closed, also when the
// process exits or is killed) on byte 0 of the object's lock file, opened close-on-exec so that
// children do not inherit it. Whether a name exists is asked with F_OFD_GETLK for a write lock,
// which takes no lock. A lock file without a lock does not make the name exist. Byte 1 serves as
// a short exclusive guard, so that testing and taking byte 0 are one step for every process.
//
// Within a process all handles to one name share one MutexState (ownership is in-process only).
#pragma once

#include <memory>
#include <string_view>

#include "platform/os.h"
#include "platform/sim/mutex_state.h"

namespace os::sim {

struct NamedMutex {
  std::shared_ptr<MutexState> state;  // null on failure
  bool existed = false;               // the name existed before this call
  DWORD error = ERROR_SUCCESS;        // the failure
};

// CreateMutexW's view: opens the name, making it exist when it does not.
NamedMutex create_named_mutex(std::u16string_view name);
// OpenMutexW's view: opens the name only when it exists (else ERROR_FILE_NOT_FOUND).
NamedMutex open_named_mutex(std::u16string_view name);

}  // namespace os::sim
