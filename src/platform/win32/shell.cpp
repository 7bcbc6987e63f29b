// Starting programs through the shell. Our SHELLEXECUTEINFOW carries the fields the system uses;
// it is copied into the SDK's structure, and the results are copied back.
#include "platform/os.h"
#include "platform/win32/text_cast.h"

namespace os {

namespace {

// Flags that would make the shell read fields our structure does not have.
constexpr ULONG kMasksNeedingAbsentFields =
    SEE_MASK_CLASSNAME | SEE_MASK_CLASSKEY | SEE_MASK_IDLIST | SEE_MASK_INVOKEIDLIST | SEE_MASK_HOTKEY | SEE_MASK_HMONITOR;

}  // namespace

BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info) {
  if (info == nullptr || info->cbSize != sizeof(SHELLEXECUTEINFOW) || (info->fMask & kMasksNeedingAbsentFields) != 0) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ::SHELLEXECUTEINFOW shell{};
  shell.cbSize = sizeof(shell);
  shell.fMask = info->fMask;
  shell.hwnd = info->hwnd;
  shell.lpVerb = win32::wide(info->lpVerb);
  shell.lpFile = win32::wide(info->lpFile);
  shell.lpParameters = win32::wide(info->lpParameters);
  shell.lpDirectory = win32::wide(info->lpDirectory);
  shell.nShow = info->nShow;
  const BOOL ok = ::ShellExecuteExW(&shell);
  info->hInstApp = shell.hInstApp;
  info->hProcess = shell.hProcess;
  return ok;
}

}  // namespace os
