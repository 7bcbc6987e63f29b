#include "platform/sim/machine_clock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "platform/sim/host.h"

namespace os::sim {

namespace {

std::int64_t boottime_ms() {
  timespec now{};
  ::clock_gettime(CLOCK_BOOTTIME, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

std::string linux_boot_id() {
  std::ifstream in("/proc/sys/kernel/random/boot_id");
  std::string id;
  std::getline(in, id);
  return id;
}

std::string clock_file() { return sim_root() + "/machine/boot_time"; }

std::string clock_text(std::int64_t start_ms) {
  return "boot_id " + linux_boot_id() + "\nstart_boottime_ms " + std::to_string(start_ms) + "\n";
}

// The start written in the file, if it is from this Linux boot.
std::optional<std::int64_t> stored_start() {
  std::ifstream in(clock_file());
  std::string key_id, id, key_start;
  long long start = 0;
  if (!(in >> key_id >> id >> key_start >> start) || key_id != "boot_id" || key_start != "start_boottime_ms") {
    return std::nullopt;
  }
  if (id != linux_boot_id()) return std::nullopt;
  return start;
}

// Writes the file through a temporary one: `replace` renames over an existing file; otherwise the
// file is only linked in when absent, so the first of several starting processes wins.
bool write_clock(std::int64_t start_ms, bool replace) {
  const std::string path = clock_file();
  ::mkdir((sim_root() + "/machine").c_str(), 0777);
  const std::string temporary = path + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(::syscall(SYS_gettid));
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << clock_text(start_ms);
    if (!out.flush()) return false;
  }
  const bool done = replace ? ::rename(temporary.c_str(), path.c_str()) == 0
                            : (::link(temporary.c_str(), path.c_str()) == 0 || errno == EEXIST);
  ::unlink(temporary.c_str());
  return done;
}

}  // namespace

std::uint64_t machine_uptime_ms() {
  std::optional<std::int64_t> start = stored_start();
  if (!start) {
    // No file, or one left from an earlier Linux boot (replaced, since it is stale).
    struct stat st {};
    const bool stale = ::stat(clock_file().c_str(), &st) == 0;
    write_clock(boottime_ms(), stale);
    start = stored_start();
    if (!start) start = boottime_ms();
  }
  const std::int64_t uptime = boottime_ms() - *start;
  return uptime < 0 ? 0 : static_cast<std::uint64_t>(uptime);
}

bool restart_machine_clock(std::uint64_t uptime_ms) {
  return write_clock(boottime_ms() - static_cast<std::int64_t>(uptime_ms), true);
}

}  // namespace os::sim
