// Access tokens and account names: a process's token carries the user it runs as.
#include <unistd.h>

#include <cstring>
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
  if (info_class != TokenUser) {
    SetLastError(ERROR_INVALID_PARAMETER);  // the host's tokens carry only their user
    return FALSE;
  }
  if (!(held->access() & TOKEN_QUERY)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  // A TOKEN_USER followed by the SID it points to, in the caller's buffer.
  const std::vector<BYTE> sid = sim::user_sid(held->user());
  const DWORD required = static_cast<DWORD>(sizeof(TOKEN_USER) + sid.size());
  *needed = required;
  if (info == nullptr || size < required) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  auto* bytes = static_cast<BYTE*>(info);
  TOKEN_USER user{};
  user.User.Sid = bytes + sizeof(TOKEN_USER);
  user.User.Attributes = 0;
  std::memcpy(bytes, &user, sizeof(user));
  std::memcpy(bytes + sizeof(TOKEN_USER), sid.data(), sid.size());
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
