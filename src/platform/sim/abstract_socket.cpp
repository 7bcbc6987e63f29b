#include "platform/sim/abstract_socket.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <filesystem>

#include "platform/sim/host.h"

namespace os::sim {

std::string canonical_root() {
  std::string root = sim_root();
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical(root, error);
  if (!error) root = real.string();
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

std::string hashed_socket_name(const std::string& prefix, const std::string& key) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(key.data(), key.size(), digest, &length, EVP_sha256(), nullptr);
  static const char kHex[] = "0123456789abcdef";
  std::string name = prefix;
  for (unsigned int i = 0; i < length; ++i) {
    name += kHex[digest[i] >> 4];
    name += kHex[digest[i] & 15];
  }
  return name;
}

socklen_t abstract_address(const std::string& name, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  const std::size_t length = std::min(name.size(), sizeof address.sun_path - 1);
  std::memcpy(address.sun_path + 1, name.data(), length);
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
}

}  // namespace os::sim
