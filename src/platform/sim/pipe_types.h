// Win32 types and constants of named pipes, overlapped I/O and security descriptors for the
// simulated host. Values and layouts are those of the Windows SDK (x64), so a descriptor built here
// has the same bytes as on Windows. Included only through platform/sim/sim_types.h.
#pragma once

// Errors.
constexpr DWORD ERROR_BAD_NETPATH = 53;
constexpr DWORD ERROR_SEM_TIMEOUT = 121;
constexpr DWORD ERROR_OPERATION_ABORTED = 995;
constexpr DWORD ERROR_IO_INCOMPLETE = 996;
constexpr DWORD ERROR_UNKNOWN_REVISION = 1305;
constexpr DWORD ERROR_REVISION_MISMATCH = 1306;
constexpr DWORD ERROR_INVALID_ACL = 1336;
constexpr DWORD ERROR_INVALID_SECURITY_DESCR = 1338;
constexpr DWORD ERROR_ALLOTTED_SPACE_EXCEEDED = 1344;

// Overlapped I/O: OVERLAPPED::Internal holds this while an operation is in progress.
constexpr ULONG_PTR STATUS_PENDING = 0x103;

// Named pipes.
constexpr DWORD PIPE_ACCESS_INBOUND = 0x00000001;
constexpr DWORD PIPE_ACCESS_OUTBOUND = 0x00000002;
constexpr DWORD PIPE_ACCESS_DUPLEX = 0x00000003;
constexpr DWORD FILE_FLAG_FIRST_PIPE_INSTANCE = 0x00080000;
constexpr DWORD PIPE_WAIT = 0x00000000;
constexpr DWORD PIPE_NOWAIT = 0x00000001;
constexpr DWORD PIPE_READMODE_BYTE = 0x00000000;
constexpr DWORD PIPE_READMODE_MESSAGE = 0x00000002;
constexpr DWORD PIPE_TYPE_BYTE = 0x00000000;
constexpr DWORD PIPE_TYPE_MESSAGE = 0x00000004;
constexpr DWORD PIPE_ACCEPT_REMOTE_CLIENTS = 0x00000000;
constexpr DWORD PIPE_REJECT_REMOTE_CLIENTS = 0x00000008;
constexpr DWORD PIPE_UNLIMITED_INSTANCES = 255;

// Security identifiers, access control lists and security descriptors.
constexpr DWORD ACL_REVISION = 2;
constexpr DWORD SECURITY_DESCRIPTOR_REVISION = 1;
constexpr DWORD SECURITY_WORLD_RID = 0x00000000;
constexpr DWORD SECURITY_LOCAL_SYSTEM_RID = 0x00000012;
constexpr DWORD SECURITY_BUILTIN_DOMAIN_RID = 0x00000020;
constexpr DWORD DOMAIN_ALIAS_RID_ADMINS = 0x00000220;
constexpr DWORD DOMAIN_ALIAS_RID_USERS = 0x00000221;
constexpr BYTE ACCESS_ALLOWED_ACE_TYPE = 0x0;
constexpr WORD SE_DACL_PRESENT = 0x0004;
constexpr WORD SE_DACL_DEFAULTED = 0x0008;
constexpr BYTE SID_REVISION = 1;
constexpr BYTE SID_MAX_SUB_AUTHORITIES = 15;
constexpr DWORD WRITE_DAC = 0x00040000;
constexpr DWORD WRITE_OWNER = 0x00080000;
constexpr DWORD SPECIFIC_RIGHTS_ALL = 0x0000FFFF;
constexpr DWORD FILE_CREATE_PIPE_INSTANCE = 0x00000004;
constexpr DWORD FILE_GENERIC_READ = 0x00120089;
constexpr DWORD FILE_GENERIC_WRITE = 0x00120116;

#define SECURITY_WORLD_SID_AUTHORITY {0, 0, 0, 0, 0, 1}
#define SECURITY_NT_AUTHORITY {0, 0, 0, 0, 0, 5}

struct SID {
  BYTE Revision;
  BYTE SubAuthorityCount;
  SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
  DWORD SubAuthority[1];  // SubAuthorityCount entries
};

struct ACL {
  BYTE AclRevision;
  BYTE Sbz1;
  WORD AclSize;
  WORD AceCount;
  WORD Sbz2;
};
using PACL = ACL*;

struct ACE_HEADER {
  BYTE AceType;
  BYTE AceFlags;
  WORD AceSize;
};

struct ACCESS_ALLOWED_ACE {
  ACE_HEADER Header;
  DWORD Mask;
  DWORD SidStart;  // the SID begins here and runs to AceSize
};

using SECURITY_DESCRIPTOR_CONTROL = WORD;

// The absolute form.
struct SECURITY_DESCRIPTOR {
  BYTE Revision;
  BYTE Sbz1;
  SECURITY_DESCRIPTOR_CONTROL Control;
  PSID Owner;
  PSID Group;
  PACL Sacl;
  PACL Dacl;
};
using PSECURITY_DESCRIPTOR = void*;
constexpr DWORD SECURITY_DESCRIPTOR_MIN_LENGTH = sizeof(SECURITY_DESCRIPTOR);

static_assert(sizeof(ACL) == 8 && sizeof(ACCESS_ALLOWED_ACE) == 12 && sizeof(SID) == 12);
