#include "platform/sim/host.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/sim/paths.h"
#include "text/utf.h"

namespace os::sim {

namespace {

namespace fs = std::filesystem;

bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }

bool is_ascii_letter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

std::string home_folder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* user = getpwuid(getuid()); user && user->pw_dir) return user->pw_dir;
  return "/tmp";
}

// An absolute, lexically normal path without a trailing slash, so that prefix tests on it hold.
std::string normal_absolute(const std::string& path) {
  std::error_code ignored;
  std::string out = fs::absolute(fs::path(path), ignored).lexically_normal().string();
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

// A new machine has its system drive with the folders every Windows installation has. The marker
// file, which tells the sim CLI that it may reset the folder, goes only into a folder that was
// new or empty: a root pointed at a folder of other files never becomes resettable.
void create_machine(const std::string& root) {
  std::error_code ignored;
  const bool fresh = !fs::exists(root, ignored) || fs::is_empty(root, ignored);
  fs::create_directories(root + "/drive_c/ProgramData", ignored);
  fs::create_directories(root + "/drive_c/Windows", ignored);
  if (!fresh) return;
  const std::string marker = root + "/" + kMachineMarker;
  const int fd = ::open(marker.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd >= 0) {
    static const char kText[] = "State of a simulated Windows machine (vostusb-sim).\n";
    [[maybe_unused]] ssize_t n = ::write(fd, kText, sizeof kText - 1);
    ::close(fd);
  }
}

// The Linux folder of a drive letter.
std::string drive_folder(char16_t letter) {
  const char lower = static_cast<char>(letter | 0x20);
  if (lower == 'z') return "";
  return sim_root() + "/drive_" + lower;
}

std::string with_slashes(std::u16string_view rest) {
  std::string out = text::to_utf8_display(rest);
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

}  // namespace

std::string sim_root() {
  const char* configured = std::getenv("VOSTUSB_SIM_ROOT");
  const std::string root =
      normal_absolute(configured && *configured ? std::string(configured) : home_folder() + "/.vostusb-sim");
  // One access() per call keeps a machine that was reset (its folder deleted) usable at once.
  if (::access((root + "/" + kMachineMarker).c_str(), F_OK) != 0) create_machine(root);
  return root;
}

std::string to_linux_path(std::u16string_view path) {
  // "\\?\C:\x" is "C:\x" without Win32's name parsing; the mapping is the same.
  if (path.size() >= 4 && is_separator(path[0]) && is_separator(path[1]) && path[2] == u'?' && is_separator(path[3])) {
    path.remove_prefix(4);
  }
  if (path.size() >= 2 && is_ascii_letter(path[0]) && path[1] == u':') {
    std::string rest = with_slashes(path.substr(2));
    if (rest.empty() || rest.front() != '/') rest.insert(rest.begin(), '/');  // "C:" and "C:x" are rooted
    const std::string base = drive_folder(path[0]);
    return base.empty() ? rest : base + (rest == "/" ? "" : rest);
  }
  return with_slashes(path);
}

std::u16string to_windows_path(std::string_view linux_path) {
  std::u16string out;
  if (linux_path.empty() || linux_path.front() != '/') {
    out = text::from_utf8(linux_path);
  } else {
    const std::string drives = sim_root() + "/drive_";
    std::string_view rest = linux_path;
    char16_t letter = u'Z';
    if (linux_path.size() > drives.size() && linux_path.substr(0, drives.size()) == drives) {
      const char c = linux_path[drives.size()];
      const std::string_view after = linux_path.substr(drives.size() + 1);
      if (c >= 'a' && c <= 'z' && (after.empty() || after.front() == '/')) {
        letter = static_cast<char16_t>(c - 'a' + 'A');
        rest = after;
      }
    }
    out = std::u16string(1, letter) + u":" + text::from_utf8(rest);
    if (out.size() == 2) out += u'\\';
  }
  for (char16_t& c : out) {
    if (c == u'/') c = u'\\';
  }
  return out;
}

}  // namespace os::sim
