#include "process/paths.h"

#include <vector>

#include "platform/handle.h"
#include "platform/os.h"
#include "process/registry.h"
#include "text/utf.h"

namespace paths {

std::u16string path_join(std::u16string_view path, std::u16string_view sub) {
  std::u16string out(path);
  if (out.empty() || out.back() != u'\\') out += u'\\';
  if (!sub.empty() && sub.front() == u'\\') sub.remove_prefix(1);
  out += sub;
  return out;
}

std::u16string root_path(std::u16string_view sub) {
  return path_join(registry::reg_read_string(u"Software\\kavenor", u"RootPath", u""), sub);
}

std::u16string data_path(std::u16string_view sub) {
  constexpr std::size_t kBufferSize = 1024;
  char16_t buffer[kBufferSize] = {};
  std::size_t required = 0;
  if (os::_wgetenv_s(&required, buffer, kBufferSize, u"ALLUSERSPROFILE") != 0) buffer[0] = 0;
  std::u16string path = path_join(buffer, u"kavenor");
  if (!sub.empty()) path = path_join(path, sub);
  return path;
}

std::u16string program_path(std::u16string_view sub) {
  constexpr DWORD kBufferSize = 1024;
  char16_t buffer[kBufferSize] = {};
  const DWORD length = os::GetModuleFileNameW(nullptr, buffer, kBufferSize);
  std::u16string path = (length == 0 || length >= kBufferSize) ? std::u16string() : std::u16string(buffer, length);
  const std::size_t last = path.rfind(u'\\');
  path = last == std::u16string::npos ? std::u16string() : path.substr(0, last);
  if (!sub.empty()) path = path_join(path, sub);
  return path;
}

namespace {

// Creates each prefix of `path` that ends just before a backslash.
void make_parent_folders(std::u16string_view path) {
  for (std::size_t i = path.find(u'\\'); i != std::u16string_view::npos; i = path.find(u'\\', i + 1)) {
    if (i == 0) continue;
    const std::u16string prefix(path.substr(0, i));
    os::_wmkdir(prefix.c_str());
  }
}

}  // namespace

int make_folders(std::u16string_view path) {
  make_parent_folders(path);
  const std::u16string whole(path);
  os::_wmkdir(whole.c_str());
  return 1;
}

int write_whole_file(std::u16string_view path, const void* bytes, std::size_t count) {
  // Callers build their paths from the roots above; the folder part has no fixed limit here.
  make_parent_folders(path);
  const std::u16string file(path);
  os::_wchmod(file.c_str(), _S_IREAD | _S_IWRITE);
  os::unique_fd fd;
  if (os::_wsopen_s(fd.put(), file.c_str(), _O_BINARY | _O_RDWR | _O_CREAT | _O_TRUNC | _O_NOINHERIT, _SH_DENYNO,
                    _S_IREAD | _S_IWRITE) != 0 || !fd) {
    return 0;
  }
  os::_wchmod(file.c_str(), _S_IREAD | _S_IWRITE);
  // _write takes at most 4 GiB less one per call; write in pieces and check each.
  const char* data = static_cast<const char*>(bytes);
  while (count > 0) {
    const unsigned piece = count > 0x40000000u ? 0x40000000u : static_cast<unsigned>(count);
    const int written = os::_write(fd.get(), data, piece);
    if (written <= 0) return 0;
    data += written;
    count -= static_cast<std::size_t>(written);
  }
  return 1;
}

int write_utf16_file(std::u16string_view path, std::u16string_view text) {
  const std::string bytes = text::to_utf16le(text);
  return write_whole_file(path, bytes.data(), bytes.size());
}

int write_utf8_file(std::u16string_view path, std::u16string_view text) {
  const std::string bytes = text::to_utf8(text);
  return write_whole_file(path, bytes.data(), bytes.size());
}

}  // namespace paths
