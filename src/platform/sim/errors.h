// The one place where Linux errno values become Win32 error codes and C run-time errno values.
#pragma once

#include <string>

#include "platform/os.h"

namespace os::sim {

// The Win32 error for a failed Linux call.
DWORD win32_error_from_errno(int error);

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
