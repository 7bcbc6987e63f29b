// Process snapshots: the SDK's process entry is copied into ours, whose name is char16_t text.
#include <cstddef>

#include "platform/os.h"
#include "platform/win32/text_cast.h"

namespace os {

static_assert(sizeof(PROCESSENTRY32W) == sizeof(::PROCESSENTRY32W));
static_assert(offsetof(PROCESSENTRY32W, szExeFile) == offsetof(::PROCESSENTRY32W, szExeFile));

namespace {

using SnapshotStep = BOOL(WINAPI*)(HANDLE, ::PROCESSENTRY32W*);

// An entry smaller than the structure fails with ERROR_BAD_LENGTH, as on Windows (Wine says
// ERROR_INSUFFICIENT_BUFFER); a larger one is fine and gets the structure.
BOOL next_entry(SnapshotStep step, HANDLE snapshot, PROCESSENTRY32W* entry) {
  if (entry == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (entry->dwSize < sizeof(PROCESSENTRY32W)) {
    ::SetLastError(ERROR_BAD_LENGTH);
    return FALSE;
  }
  ::PROCESSENTRY32W found{};
  found.dwSize = sizeof(found);
  if (!step(snapshot, &found)) return FALSE;
  entry->cntUsage = found.cntUsage;
  entry->th32ProcessID = found.th32ProcessID;
  entry->th32DefaultHeapID = found.th32DefaultHeapID;
  entry->th32ModuleID = found.th32ModuleID;
  entry->cntThreads = found.cntThreads;
  entry->th32ParentProcessID = found.th32ParentProcessID;
  entry->pcPriClassBase = found.pcPriClassBase;
  entry->dwFlags = found.dwFlags;
  win32::copy_text(entry->szExeFile, found.szExeFile);
  return TRUE;
}

}  // namespace

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD pid) { return ::CreateToolhelp32Snapshot(flags, pid); }

BOOL Process32FirstW(HANDLE snapshot, PROCESSENTRY32W* entry) {
  return next_entry(::Process32FirstW, snapshot, entry);
}

BOOL Process32NextW(HANDLE snapshot, PROCESSENTRY32W* entry) {
  return next_entry(::Process32NextW, snapshot, entry);
}

}  // namespace os
