#include "pipes/pipe_security.h"

#include <new>

PipeSecurity::PipeSecurity() {
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  if (!os::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone_)) return;
  if (!os::AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system_)) return;
  // An ACL header (8 bytes) and two access-allowed entries of 8 bytes each before their SIDs.
  const DWORD acl_size = os::GetLengthSid(system_) + os::GetLengthSid(everyone_) + 24;
  acl_.reset(new (std::nothrow) DWORD[(acl_size + 3) / 4]());
  if (!acl_) return;
  ACL* acl = reinterpret_cast<ACL*>(acl_.get());
  if (!os::InitializeAcl(acl, acl_size, ACL_REVISION)) return;
  if (!os::AddAccessAllowedAce(acl, ACL_REVISION, kSystemMask, system_)) return;
  if (!os::AddAccessAllowedAce(acl, ACL_REVISION, kEveryoneMask, everyone_)) return;
  if (!os::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION)) return;
  if (!os::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE)) return;
  attributes_.nLength = sizeof attributes_;
  attributes_.lpSecurityDescriptor = &descriptor_;
  attributes_.bInheritHandle = TRUE;
  built_ = true;
}

PipeSecurity::~PipeSecurity() {
  acl_.reset();
  if (system_) os::FreeSid(system_);
  if (everyone_) os::FreeSid(everyone_);
}
