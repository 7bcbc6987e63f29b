// Access tokens and account names: a process's token carries the user it runs as and that user's
// groups.
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <vector>
#include <memory>

#include "platform/sim/accounts.h"
#include "platform/sim/handles.h"
#include "platform/sim/process_handle.h"
#include "platform/sim/text_out.h"
#include "text/chars.h"

namespace os {

namespace {

class TokenHandle : public sim::KernelObject {
 public:
  TokenHandle(uid_t user, DWORD access) : user_(user), access_(access) {}
  uid_t user() const { return user_; }
  DWORD access() const { return access_; }

 private:
  uid_t user_;
  DWORD access_;
};

DWORD token_rights(DWORD access) {
  if (access & (GENERIC_ALL | GENERIC_READ)) access |= TOKEN_QUERY | READ_CONTROL;
  return access & ~(GENERIC_ALL | GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE);
}

// Another user's token is closed to everybody but root, as a token's default access on Windows
// admits its own user and the administrators.
bool may_open_token(uid_t user) {
  const uid_t self = ::geteuid();
  return self == 0 || self == user;
}

struct SidEntry {
  std::vector<BYTE> sid;
  DWORD attributes;
};

std::vector<BYTE> well_known_sid(BYTE authority, std::initializer_list<DWORD> subs) {
  std::vector<BYTE> sid(8 + 4 * subs.size());
  sid[0] = SID_REVISION;
  sid[1] = static_cast<BYTE>(subs.size());
  sid[7] = authority;
  std::size_t at = 8;
  for (DWORD sub : subs) {
    std::memcpy(&sid[at], &sub, 4);
    at += 4;
  }
  return sid;
}

// A user's groups: Everyone, and Administrators for the machine's administrator (root, who is also
// its system account), else Users.
std::vector<SidEntry> user_groups(uid_t user) {
  constexpr DWORD kEnabled = SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED;
  constexpr BYTE kWorldAuthority = 1;
  constexpr BYTE kNtAuthority = 5;
  std::vector<SidEntry> groups;
  groups.push_back({well_known_sid(kWorldAuthority, {SECURITY_WORLD_RID}), kEnabled});
  if (sim::is_administrator(user)) {
    groups.push_back({well_known_sid(kNtAuthority, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}),
                      kEnabled | SE_GROUP_OWNER});
  } else {
    groups.push_back({well_known_sid(kNtAuthority, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS}), kEnabled});
  }
  return groups;
}

}  // namespace

BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) {
  if (token == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto state = sim::process_for(process, 0, sim::kAnyQueryRight);
  if (!state) return FALSE;
  if (!may_open_token(state->owner())) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  *token = sim::add_handle(std::make_shared<TokenHandle>(state->owner(), token_rights(access)));
  return TRUE;
}

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS info_class, void* info, DWORD size, DWORD* needed) {
  if (needed == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto held = sim::find_handle_as<TokenHandle>(token);
  if (!held) return FALSE;
  if (info_class != TokenUser && info_class != TokenGroups) {
    SetLastError(ERROR_INVALID_PARAMETER);  // the host's tokens carry only their user and its groups
    return FALSE;
  }
  if (!(held->access() & TOKEN_QUERY)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  // The fixed part (TOKEN_USER, or TOKEN_GROUPS with its entries) followed by the SIDs it points
  // to, in the caller's buffer.
  std::vector<SidEntry> entries;
  if (info_class == TokenUser) {
    entries.push_back({sim::user_sid(held->user()), 0});
  } else {
    entries = user_groups(held->user());
  }
  const std::size_t head = info_class == TokenUser ? sizeof(TOKEN_USER)
                                                   : offsetof(TOKEN_GROUPS, Groups) +
                                                         entries.size() * sizeof(SID_AND_ATTRIBUTES);
  std::size_t required = head;
  for (const SidEntry& entry : entries) required += entry.sid.size();
  *needed = static_cast<DWORD>(required);
  if (info == nullptr || size < required) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  auto* bytes = static_cast<BYTE*>(info);
  std::vector<SID_AND_ATTRIBUTES> pairs;
  std::size_t at = head;
  for (const SidEntry& entry : entries) {
    pairs.push_back({bytes + at, entry.attributes});
    std::memcpy(bytes + at, entry.sid.data(), entry.sid.size());
    at += entry.sid.size();
  }
  if (info_class == TokenUser) {
    std::memcpy(bytes, pairs.data(), sizeof(SID_AND_ATTRIBUTES));
  } else {
    const DWORD count = static_cast<DWORD>(pairs.size());
    std::memcpy(bytes, &count, sizeof count);
    std::memcpy(bytes + offsetof(TOKEN_GROUPS, Groups), pairs.data(), pairs.size() * sizeof(SID_AND_ATTRIBUTES));
  }
  return TRUE;
}

BOOL LookupAccountSidW(const char16_t* system, PSID sid, char16_t* name, DWORD* name_size, char16_t* domain,
                       DWORD* domain_size, SID_NAME_USE* use) {
  if (name_size == nullptr || domain_size == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::u16string computer = sim::computer_name();
  if (system != nullptr && *system != u'\0' && !text::equals_nocase(system, computer)) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);  // other machines are not simulated
    return FALSE;
  }
  uid_t uid = 0;
  switch (sim::read_user_sid(sid, uid)) {
    case sim::SidCheck::Malformed:
      SetLastError(ERROR_INVALID_SID);
      return FALSE;
    case sim::SidCheck::Foreign:
      SetLastError(ERROR_NONE_MAPPED);
      return FALSE;
    case sim::SidCheck::Local:
      break;
  }
  const auto user = sim::user_name(uid);
  if (!user) {
    SetLastError(ERROR_NONE_MAPPED);
    return FALSE;
  }
  // Both sizes count the terminator when asking for room, and leave it out on success.
  if (name == nullptr || domain == nullptr || *name_size <= user->size() || *domain_size <= computer.size()) {
    *name_size = static_cast<DWORD>(user->size() + 1);
    *domain_size = static_cast<DWORD>(computer.size() + 1);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  sim::copy_if_fits(*user, name, *name_size);
  sim::copy_if_fits(computer, domain, *domain_size);
  *name_size = static_cast<DWORD>(user->size());
  *domain_size = static_cast<DWORD>(computer.size());
  if (use != nullptr) *use = SidTypeUser;
  return TRUE;
}

BOOL GetUserNameW(char16_t* buffer, DWORD* size) {
  if (size == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto user = sim::user_name(::geteuid());
  if (!user) {
    SetLastError(ERROR_NONE_MAPPED);
    return FALSE;
  }
  // The size counts the terminator, on success as well as when asking for room.
  if (!sim::copy_if_fits(*user, buffer, *size)) {
    *size = static_cast<DWORD>(user->size() + 1);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  *size = static_cast<DWORD>(user->size() + 1);
  return TRUE;
}

}  // namespace os
