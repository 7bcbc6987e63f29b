// The security of the listener's pipes, checked byte for byte: the same bytes on Windows (Wine)
// and on the simulated host.
#include "pipes/pipe_security.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct AceView {
  BYTE type;
  WORD size;
  DWORD mask;
  std::vector<BYTE> sid;
};

std::vector<AceView> aces_of(const ACL* acl) {
  std::vector<AceView> aces;
  const BYTE* at = reinterpret_cast<const BYTE*>(acl) + sizeof(ACL);
  for (WORD i = 0; i < acl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE ace;
    std::memcpy(&ace, at, sizeof ace);
    const BYTE* sid = at + offsetof(ACCESS_ALLOWED_ACE, SidStart);
    aces.push_back({ace.Header.AceType, ace.Header.AceSize, ace.Mask,
                    std::vector<BYTE>(sid, at + ace.Header.AceSize)});
    at += ace.Header.AceSize;
  }
  return aces;
}

const std::vector<BYTE> kLocalSystem = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};  // S-1-5-18
const std::vector<BYTE> kEveryone = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};      // S-1-1-0

}  // namespace

TEST(PipeSecurity, GrantsLocalSystemThenEveryoneWithTheirMasks) {
  PipeSecurity security;
  SECURITY_ATTRIBUTES* attributes = security.attributes();
  ASSERT_NE(nullptr, attributes);
  EXPECT_EQ(24u, attributes->nLength);
  EXPECT_TRUE(attributes->bInheritHandle);
  const auto* descriptor = static_cast<const SECURITY_DESCRIPTOR*>(attributes->lpSecurityDescriptor);
  EXPECT_EQ(1, descriptor->Revision);
  EXPECT_TRUE(descriptor->Control & SE_DACL_PRESENT);
  EXPECT_FALSE(descriptor->Control & SE_DACL_DEFAULTED);
  const ACL* acl = descriptor->Dacl;
  ASSERT_NE(nullptr, acl);
  EXPECT_EQ(2, acl->AclRevision);
  EXPECT_EQ(12 + 12 + 24, acl->AclSize);
  const auto aces = aces_of(acl);
  ASSERT_EQ(2u, aces.size());
  EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, aces[0].type);
  EXPECT_EQ(20, aces[0].size);
  EXPECT_EQ(0x1BFFFFu, aces[0].mask);  // everything but WRITE_DAC
  EXPECT_EQ(kLocalSystem, aces[0].sid);
  EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, aces[1].type);
  // Read and write as the generic rights map them for a pipe, without the right to create instances.
  EXPECT_EQ(0x0012019Bu, aces[1].mask);
  EXPECT_EQ(0u, aces[1].mask & 0x4u);  // FILE_CREATE_PIPE_INSTANCE
  EXPECT_EQ(0x3u, aces[1].mask & 0x3u);  // FILE_READ_DATA, FILE_WRITE_DATA
  EXPECT_EQ(kEveryone, aces[1].sid);
}

TEST(PipeSecurity, AnEntryThatDoesNotFitIsRefused) {
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  ASSERT_TRUE(os::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
  EXPECT_EQ(12u, os::GetLengthSid(everyone));
  alignas(4) BYTE storage[8 + 8 + 12 + 8] = {};
  ACL* acl = reinterpret_cast<ACL*>(storage);
  ASSERT_TRUE(os::InitializeAcl(acl, 8 + 8 + 12 + 4, ACL_REVISION));
  EXPECT_TRUE(os::AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_READ, everyone));
  EXPECT_FALSE(os::AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_READ, everyone));
  EXPECT_EQ(ERROR_ALLOTTED_SPACE_EXCEEDED, os::GetLastError());
  EXPECT_EQ(1, acl->AceCount);
  os::FreeSid(everyone);
}
