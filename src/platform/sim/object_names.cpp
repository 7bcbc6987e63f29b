#include "platform/sim/object_names.h"

#include <openssl/evp.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/sim/errors.h"
#include "platform/sim/host.h"

namespace os::sim {

namespace {

constexpr std::u16string_view kGlobalPrefix = u"global\\";
constexpr std::u16string_view kLocalPrefix = u"local\\";
constexpr std::size_t kLongestPlainFileName = 200;

bool starts_with_nocase(std::u16string_view text, std::u16string_view lower_prefix) {
  if (text.size() < lower_prefix.size()) return false;
  for (std::size_t i = 0; i < lower_prefix.size(); ++i) {
    char16_t c = text[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != lower_prefix[i]) return false;
  }
  return true;
}

std::string sha1_hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha1(), nullptr);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

// A folder that every user of the machine may create objects in.
DWORD ensure_shared_folder(const std::string& path) {
  if (::mkdir(path.c_str(), 01777) == 0) {
    ::chmod(path.c_str(), 01777);  // the umask may have taken bits away
    return ERROR_SUCCESS;
  }
  if (errno == EEXIST) return ERROR_SUCCESS;
  return win32_error_from_errno(errno);
}

}  // namespace

std::string object_file_name(std::u16string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string file;
  for (const char16_t c : name) {
    const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                       c == u'-' || c == u'_';
    if (plain) {
      file += static_cast<char>(c);
    } else {
      file += '%';
      for (int shift = 12; shift >= 0; shift -= 4) file += kHex[(c >> shift) & 15];
    }
  }
  if (file.size() > kLongestPlainFileName) {
    file = file.substr(0, kLongestPlainFileName / 2) + "~" + sha1_hex(file);
  }
  return file;
}

ObjectPath kernel_object_path(std::u16string_view name, std::string_view type) {
  if (name.size() > MAX_PATH) return {{}, ERROR_FILENAME_EXCED_RANGE};
  std::string space = "local";
  const bool global = starts_with_nocase(name, kGlobalPrefix);
  if (global) {
    space = "global";
    name.remove_prefix(kGlobalPrefix.size());
  } else if (starts_with_nocase(name, kLocalPrefix)) {
    name.remove_prefix(kLocalPrefix.size());
  }
  if (name.empty()) return {{}, ERROR_INVALID_NAME};
  if (name.find(u'\\') != std::u16string_view::npos) return {{}, ERROR_PATH_NOT_FOUND};

  const std::string objects = sim_root() + "/objects";
  const std::string folder = objects + "/" + space;
  for (const std::string& level : {objects, folder}) {
    if (const DWORD error = ensure_shared_folder(level)) return {{}, error};
  }
  return {folder + "/" + object_file_name(name) + "." + std::string(type), ERROR_SUCCESS, global};
}

}  // namespace os::sim
