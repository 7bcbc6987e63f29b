// Users: process tokens, account names of SIDs and the current user's name.
#include "platform/os.h"
#include "platform/win32/text_cast.h"

namespace os {

using win32::wide;

BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) {
  return ::OpenProcessToken(process, access, token);
}

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS info_class, void* info, DWORD size, DWORD* needed) {
  return ::GetTokenInformation(token, info_class, info, size, needed);
}

BOOL LookupAccountSidW(const char16_t* system, PSID sid, char16_t* name, DWORD* name_size, char16_t* domain,
                       DWORD* domain_size, SID_NAME_USE* use) {
  return ::LookupAccountSidW(wide(system), sid, wide(name), name_size, wide(domain), domain_size, use);
}

BOOL GetUserNameW(char16_t* buffer, DWORD* size) { return ::GetUserNameW(wide(buffer), size); }

}  // namespace os
