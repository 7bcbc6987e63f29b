#include "process/trusted_peers.h"

#include <memory>
#include <vector>

#include "platform/handle.h"
#include "process/installation.h"
#include "process/processes.h"
#include "text/chars.h"

namespace {

// A well-known SID of the NT authority with one or two sub-authorities, owned by the caller.
struct NtSid {
  explicit NtSid(DWORD sub0, DWORD sub1 = 0, BYTE count = 1) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    if (!os::AllocateAndInitializeSid(&nt, count, sub0, sub1, 0, 0, 0, 0, 0, 0, &sid)) sid = nullptr;
  }
  NtSid(const NtSid&) = delete;
  NtSid& operator=(const NtSid&) = delete;
  ~NtSid() {
    if (sid) os::FreeSid(sid);
  }
  PSID sid = nullptr;
};

// The token information of one class in a DWORD-aligned buffer, or nothing.
std::unique_ptr<DWORD[]> token_information(HANDLE token, TOKEN_INFORMATION_CLASS info_class) {
  DWORD needed = 0;
  os::GetTokenInformation(token, info_class, nullptr, 0, &needed);
  if (needed == 0 || os::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return nullptr;
  auto buffer = std::make_unique<DWORD[]>((needed + 7) / 4);
  if (!os::GetTokenInformation(token, info_class, buffer.get(), needed, &needed)) return nullptr;
  return buffer;
}

bool is_system_account(HANDLE token) {
  const auto user = token_information(token, TokenUser);
  const NtSid system(SECURITY_LOCAL_SYSTEM_RID);
  return user && system.sid && os::EqualSid(reinterpret_cast<TOKEN_USER*>(user.get())->User.Sid, system.sid);
}

bool has_administrators_enabled(HANDLE token) {
  const auto info = token_information(token, TokenGroups);
  const NtSid administrators(SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 2);
  if (!info || !administrators.sid) return false;
  const auto* groups = reinterpret_cast<TOKEN_GROUPS*>(info.get());
  for (DWORD i = 0; i < groups->GroupCount; ++i) {
    const SID_AND_ATTRIBUTES& group = groups->Groups[i];
    if (!os::EqualSid(group.Sid, administrators.sid)) continue;
    return (group.Attributes & SE_GROUP_ENABLED) && !(group.Attributes & SE_GROUP_USE_FOR_DENY_ONLY);
  }
  return false;
}

bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }

}  // namespace

bool is_privileged_process(DWORD pid) {
  if (pid == 0) return false;
  os::unique_handle process(os::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return false;
  HANDLE raw_token = nullptr;
  if (!os::OpenProcessToken(process.get(), TOKEN_QUERY, &raw_token)) return false;
  const os::unique_handle token(raw_token);
  return is_system_account(token.get()) || has_administrators_enabled(token.get());
}

std::u16string full_path_form(std::u16string_view path) {
  std::u16string root;
  std::size_t at = 0;
  if (path.size() >= 3 && path[1] == u':' && is_separator(path[2]) && text::lower_az(path[0]) >= u'a' &&
      text::lower_az(path[0]) <= u'z') {
    root.assign(path.substr(0, 2));
    at = 3;
  } else if (path.size() >= 2 && is_separator(path[0]) && is_separator(path[1])) {
    root = u"\\";
    at = 2;
  } else {
    return {};
  }
  std::vector<std::u16string_view> parts;
  while (at <= path.size()) {
    std::size_t end = at;
    while (end < path.size() && !is_separator(path[end])) ++end;
    const std::u16string_view part = path.substr(at, end - at);
    if (part == u"..") {
      if (parts.empty()) return {};
      parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  std::u16string result = root;
  for (const std::u16string_view part : parts) {
    result += u'\\';
    result += part;
  }
  return result;
}

bool image_in_folder(std::u16string_view image, std::u16string_view folder) {
  const std::u16string full_image = full_path_form(image);
  const std::u16string full_folder = full_path_form(folder);
  if (full_image.empty() || full_folder.empty()) return false;
  const std::size_t last = full_image.find_last_of(u'\\');
  // A drive's root or a bare "\\server" is a folder, never an image in one.
  if (last == std::u16string::npos || last + 1 >= full_image.size() || last < 2) return false;
  return text::equals_nocase(std::u16string_view(full_image).substr(0, last), full_folder);
}

std::u16string suite_program_folder() { return installation_file(u"bin"); }

bool is_suite_program(DWORD pid, std::u16string& image) {
  image = process_image_path(pid);
  const std::u16string folder = suite_program_folder();
  return !folder.empty() && image_in_folder(image, folder);
}
