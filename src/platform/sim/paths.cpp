#include "platform/sim/paths.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/sim/host.h"

namespace os::sim {

std::string linux_path(const char16_t* windows_path) {
  if (!windows_path || !*windows_path) return {};
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
