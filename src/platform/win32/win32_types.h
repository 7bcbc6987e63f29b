// The Windows build takes the Win32 types and constants from the SDK. This is the one gateway to
// windows.h; nothing outside src/platform/win32 includes it directly.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <psapi.h>
#include <share.h>
#include <shellapi.h>
#include <sys/stat.h>
#include <tlhelp32.h>
