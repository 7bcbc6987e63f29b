#include "platform/sim/accounts.h"

#include <openssl/evp.h>
#include <pwd.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <fstream>

#include "text/utf.h"

namespace os::sim {

namespace {

constexpr BYTE kSidRevision = 1;
constexpr BYTE kMaxSubAuthorities = 15;
constexpr BYTE kNtAuthority = 5;
constexpr DWORD kNonUniqueAuthority = 21;  // the first sub-authority of machine and domain accounts
constexpr BYTE kUserSubAuthorities = 5;    // 21, three for the machine, the user
constexpr std::size_t kSidHeader = 8;      // revision, count, six bytes of authority

std::string host_name() {
  char name[256] = {};
  if (::gethostname(name, sizeof(name) - 1) != 0) return "localhost";
  return name;
}

// Three numbers that stay the same for this machine.
const std::array<DWORD, 3>& machine_sub_authorities() {
  static const std::array<DWORD, 3> parts = [] {
    std::string identity;
    std::ifstream("/etc/machine-id") >> identity;
    if (identity.empty()) identity = host_name();
    unsigned char digest[EVP_MAX_MD_SIZE] = {};
    unsigned int length = 0;
    EVP_Digest(identity.data(), identity.size(), digest, &length, EVP_sha1(), nullptr);
    std::array<DWORD, 3> result{};
    std::memcpy(result.data(), digest, sizeof(result));
    return result;
  }();
  return parts;
}

}  // namespace

std::optional<std::u16string> user_name(uid_t uid) {
  long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 1024);
  for (;;) {
    passwd entry{};
    passwd* found = nullptr;
    const int error = ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error != 0 || found == nullptr) return std::nullopt;
    return text::from_utf8(found->pw_name);
  }
}

std::u16string computer_name() {
  std::string name = host_name();
  name = name.substr(0, name.find('.'));
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text::from_utf8(name);
}

std::vector<BYTE> user_sid(uid_t uid) {
  const auto& machine = machine_sub_authorities();
  const std::array<DWORD, kUserSubAuthorities> sub = {kNonUniqueAuthority, machine[0], machine[1], machine[2],
                                                      static_cast<DWORD>(uid)};
  std::vector<BYTE> sid(kSidHeader + sizeof(sub));
  sid[0] = kSidRevision;
  sid[1] = kUserSubAuthorities;
  sid[7] = kNtAuthority;  // the authority is six bytes, most significant first
  std::memcpy(sid.data() + kSidHeader, sub.data(), sizeof(sub));
  return sid;
}

SidCheck read_user_sid(const void* sid, uid_t& uid) {
  if (sid == nullptr) return SidCheck::Malformed;
  const auto* bytes = static_cast<const BYTE*>(sid);
  if (bytes[0] != kSidRevision || bytes[1] > kMaxSubAuthorities) return SidCheck::Malformed;
  const std::vector<BYTE> probe = user_sid(0);
  // Everything but the last sub-authority (the user) must be this machine's.
  const std::size_t prefix = probe.size() - sizeof(DWORD);
  if (bytes[1] != kUserSubAuthorities || std::memcmp(bytes, probe.data(), prefix) != 0) return SidCheck::Foreign;
  DWORD user = 0;
  std::memcpy(&user, bytes + prefix, sizeof(user));
  uid = static_cast<uid_t>(user);
  return SidCheck::Local;
}

}  // namespace os::sim
