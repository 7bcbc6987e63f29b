#include "platform/sim/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/sim/host.h"

namespace os::sim {

namespace {

bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }

// The length of the path once made full, as Win32 makes it before applying its limits.
std::size_t full_length(std::u16string_view path) {
  if (path.size() >= 3 && path[1] == u':' && is_separator(path[2])) return path.size();
  if (!path.empty() && is_separator(path[0])) return path.size() + 2;  // on the current drive
  char cwd[4096];
  const std::size_t base = ::getcwd(cwd, sizeof cwd) ? to_windows_path(cwd).size() : 3;
  if (path.size() >= 2 && path[1] == u':') path.remove_prefix(2);  // "C:x" is relative to that drive
  return base + 1 + path.size();
}

}  // namespace

bool fits_path_limit(std::u16string_view windows_path, std::size_t limit) {
  const bool unlimited = windows_path.size() >= 4 && is_separator(windows_path[0]) && is_separator(windows_path[1]) &&
                         windows_path[2] == u'?' && is_separator(windows_path[3]);
  return unlimited || full_length(windows_path) < limit;
}

std::string linux_path(const char16_t* windows_path) {
  if (!windows_path || !*windows_path || !fits_path_limit(windows_path)) return {};
  return to_linux_path(windows_path);
}

std::string parent_folder(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  const auto slash = p.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return p.substr(0, slash);
}

bool is_folder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_read_only_file(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && (st.st_mode & 0222) == 0;
}

namespace {

// The umask, read without changing it (umask() itself would race with other threads).
unsigned process_umask() {
  static unsigned mask = [] {
    unsigned value = 022;
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
      char line[256];
      while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "Umask:", 6) == 0) {
          std::sscanf(line + 6, "%o", &value);
          break;
        }
      }
      std::fclose(status);
    }
    return value;
  }();
  return mask;
}

}  // namespace

unsigned writable_mode(unsigned mode) {
  const unsigned others_write = ((mode & 0044) >> 1) & ~process_umask();
  return mode | S_IWUSR | others_write;
}

}  // namespace os::sim
