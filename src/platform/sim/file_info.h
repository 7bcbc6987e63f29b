// What Win32 reports about a file, computed from Linux's stat.
#pragma once

#include <sys/stat.h>
#include <time.h>

#include "platform/os.h"

namespace os::sim {

// DIRECTORY for folders; ARCHIVE for files (Windows sets it on every written file), with READONLY
// when no write permission bit is set.
DWORD file_attributes(const struct stat& st);

// A Linux time as FILETIME (100-nanosecond steps since 1601-01-01 UTC).
FILETIME to_filetime(const timespec& time);

}  // namespace os::sim
