// Failure paths of the simulated host's calls: Win32 errors for file names, the C run-time's errno
// values, and the return shapes of failed calls. The errno mapping itself is errno_to_win32.h.
#pragma once

#include <string>

#include "platform/os.h"
#include "platform/sim/errno_to_win32.h"

namespace os::sim {

// As above for a call on `path`: a missing name is ERROR_FILE_NOT_FOUND when its folder exists and
// ERROR_PATH_NOT_FOUND when the folder does not, as Win32 tells the two apart.
DWORD win32_error_for_path(int error, const std::string& path);

// The errno value that the Windows C run-time gives for a Win32 error.
int crt_errno_from_win32(DWORD error);

// Sets the last error and returns FALSE: the failure path of the BOOL calls.
BOOL fail(DWORD error);

// Sets errno and returns -1: the failure path of the C run-time calls.
int crt_fail(int error);

}  // namespace os::sim
