// Security identifiers, access control lists and descriptors, built byte for byte as Windows builds
// them. The simulated host does not enforce them; they are checked for form where Windows checks.
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "platform/os.h"

namespace os {

namespace {

DWORD sid_length(BYTE sub_authority_count) { return 8 + 4 * static_cast<DWORD>(sub_authority_count); }

bool valid_sid(const SID* sid) {
  return sid && sid->Revision == SID_REVISION && sid->SubAuthorityCount <= SID_MAX_SUB_AUTHORITIES;
}

// The first free byte behind the ACL's entries, or null when the entries do not add up.
BYTE* acl_end(ACL* acl) {
  BYTE* at = reinterpret_cast<BYTE*>(acl) + sizeof(ACL);
  BYTE* const limit = reinterpret_cast<BYTE*>(acl) + acl->AclSize;
  for (WORD i = 0; i < acl->AceCount; ++i) {
    if (at + sizeof(ACE_HEADER) > limit) return nullptr;
    ACE_HEADER header;
    std::memcpy(&header, at, sizeof header);
    if (header.AceSize < sizeof(ACE_HEADER) || at + header.AceSize > limit) return nullptr;
    at += header.AceSize;
  }
  return at;
}

}  // namespace

BOOL AllocateAndInitializeSid(SID_IDENTIFIER_AUTHORITY* authority, BYTE count, DWORD sub0, DWORD sub1, DWORD sub2,
                              DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid) {
  if (!authority || !sid || count > 8) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto* made = static_cast<SID*>(std::calloc(1, sid_length(count) < sizeof(SID) ? sizeof(SID) : sid_length(count)));
  if (!made) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  made->Revision = SID_REVISION;
  made->SubAuthorityCount = count;
  made->IdentifierAuthority = *authority;
  const DWORD subs[8] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
  std::memcpy(made->SubAuthority, subs, 4 * static_cast<std::size_t>(count));
  *sid = made;
  return TRUE;
}

DWORD GetLengthSid(PSID sid) {
  const auto* s = static_cast<const SID*>(sid);
  return valid_sid(s) ? sid_length(s->SubAuthorityCount) : 0;
}

BOOL EqualSid(PSID first, PSID second) {
  const auto* a = static_cast<const SID*>(first);
  const auto* b = static_cast<const SID*>(second);
  if (!valid_sid(a) || !valid_sid(b)) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  SetLastError(ERROR_SUCCESS);
  return a->SubAuthorityCount == b->SubAuthorityCount &&
         std::memcmp(a, b, sid_length(a->SubAuthorityCount)) == 0;
}

void* FreeSid(PSID sid) {
  std::free(sid);
  return nullptr;
}

BOOL InitializeAcl(ACL* acl, DWORD length, DWORD revision) {
  if (!acl || length < sizeof(ACL)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (revision < ACL_REVISION || revision > 4 || length > 0xFFFF) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  acl->AclRevision = static_cast<BYTE>(revision);
  acl->Sbz1 = 0;
  acl->AclSize = static_cast<WORD>(length);
  acl->AceCount = 0;
  acl->Sbz2 = 0;
  return TRUE;
}

BOOL AddAccessAllowedAce(ACL* acl, DWORD revision, DWORD access_mask, PSID sid) {
  const auto* s = static_cast<const SID*>(sid);
  if (!valid_sid(s)) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  if (!acl || acl->AclRevision < ACL_REVISION || acl->AclRevision > 4) {
    SetLastError(ERROR_INVALID_ACL);
    return FALSE;
  }
  if (revision < ACL_REVISION || revision > acl->AclRevision) {
    SetLastError(ERROR_REVISION_MISMATCH);
    return FALSE;
  }
  BYTE* at = acl_end(acl);
  if (!at) {
    SetLastError(ERROR_INVALID_ACL);
    return FALSE;
  }
  const DWORD sid_bytes = sid_length(s->SubAuthorityCount);
  const DWORD ace_size = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + sid_bytes;
  if (at + ace_size > reinterpret_cast<BYTE*>(acl) + acl->AclSize) {
    SetLastError(ERROR_ALLOTTED_SPACE_EXCEEDED);
    return FALSE;
  }
  const ACE_HEADER header{ACCESS_ALLOWED_ACE_TYPE, 0, static_cast<WORD>(ace_size)};
  std::memcpy(at, &header, sizeof header);
  std::memcpy(at + offsetof(ACCESS_ALLOWED_ACE, Mask), &access_mask, sizeof access_mask);
  std::memcpy(at + offsetof(ACCESS_ALLOWED_ACE, SidStart), s, sid_bytes);
  ++acl->AceCount;
  return TRUE;
}

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) {
  if (revision != SECURITY_DESCRIPTOR_REVISION) {
    SetLastError(ERROR_UNKNOWN_REVISION);
    return FALSE;
  }
  if (!descriptor) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
  std::memset(sd, 0, sizeof *sd);
  sd->Revision = static_cast<BYTE>(revision);
  return TRUE;
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL dacl_present, ACL* dacl, BOOL dacl_defaulted) {
  auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
  if (!sd || sd->Revision != SECURITY_DESCRIPTOR_REVISION) {
    SetLastError(sd ? ERROR_UNKNOWN_REVISION : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!dacl_present) {
    sd->Control = static_cast<WORD>(sd->Control & ~(SE_DACL_PRESENT | SE_DACL_DEFAULTED));
    sd->Dacl = nullptr;
    return TRUE;
  }
  sd->Control = static_cast<WORD>(sd->Control | SE_DACL_PRESENT);
  if (dacl_defaulted) {
    sd->Control = static_cast<WORD>(sd->Control | SE_DACL_DEFAULTED);
  } else {
    sd->Control = static_cast<WORD>(sd->Control & ~SE_DACL_DEFAULTED);
  }
  sd->Dacl = dacl;
  return TRUE;
}

}  // namespace os
