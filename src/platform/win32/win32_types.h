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
#include <bcrypt.h>
#include <cfgmgr32.h>
#include <fcntl.h>
#include <io.h>
#include <psapi.h>
#include <share.h>
#include <shellapi.h>
#include <sys/stat.h>
#include <setupapi.h>
#include <tlhelp32.h>
#include <usbioctl.h>
#include <winioctl.h>
#include <winsvc.h>

// The layer takes text as char16_t, so the CNG algorithm ids that the product names are given in
// that form too (the SDK spells them as wchar_t literals).
#undef BCRYPT_SHA1_ALGORITHM
#define BCRYPT_SHA1_ALGORITHM u"SHA1"
#undef SERVICES_ACTIVE_DATABASEW
#define SERVICES_ACTIVE_DATABASEW u"ServicesActive"
