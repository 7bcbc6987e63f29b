#include "platform/os.h"

namespace os {

BOOL AllocateAndInitializeSid(SID_IDENTIFIER_AUTHORITY* authority, BYTE count, DWORD sub0, DWORD sub1, DWORD sub2,
                              DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid) {
  return ::AllocateAndInitializeSid(authority, count, sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7, sid);
}

DWORD GetLengthSid(PSID sid) { return ::GetLengthSid(sid); }

BOOL EqualSid(PSID first, PSID second) { return ::EqualSid(first, second); }

void* FreeSid(PSID sid) { return ::FreeSid(sid); }

BOOL InitializeAcl(ACL* acl, DWORD length, DWORD revision) { return ::InitializeAcl(acl, length, revision); }

BOOL AddAccessAllowedAce(ACL* acl, DWORD revision, DWORD access_mask, PSID sid) {
  return ::AddAccessAllowedAce(acl, revision, access_mask, sid);
}

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) {
  return ::InitializeSecurityDescriptor(descriptor, revision);
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL dacl_present, ACL* dacl, BOOL dacl_defaulted) {
  return ::SetSecurityDescriptorDacl(descriptor, dacl_present, dacl, dacl_defaulted);
}

}  // namespace os
