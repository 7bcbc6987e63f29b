// Linux errno values as the Win32 error codes that the same failure gives on Windows.
#pragma once

#include "platform/os.h"

namespace os::sim {

DWORD win32_error_from_errno(int error);

}  // namespace os::sim
