#include "platform/sim/machine_clock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <mutex>
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

// Kept once read: it cannot change while a process runs, and a failed read must not look like a
// new Linux boot (that would start the machine's clock again under every running program). A
// failed read is tried again at the next call. Never destroyed: threads ending while the process
// exits still read the clock.
std::string linux_boot_id() {
  struct Known {
    std::mutex lock;
    std::string id;
  };
  static Known* const known = new Known;
  std::lock_guard<std::mutex> guard(known->lock);
  if (known->id.empty()) {
    std::ifstream in("/proc/sys/kernel/random/boot_id");
    std::getline(in, known->id);
  }
  return known->id;
}

std::string clock_file() { return sim_root() + "/machine/boot_time"; }

std::string clock_text(std::int64_t start_ms) {
  return "boot_id " + linux_boot_id() + "\nstart_boottime_ms " + std::to_string(start_ms) + "\n";
}

enum class Stored { current, stale, unreadable };

// The start written in the file: `current` when it is from this Linux boot (`start` set), `stale`
// when the file is from another boot or is not a clock file, `unreadable` when it or the boot id
// cannot be read (a missing file, or a transient failure).
Stored stored_start(std::int64_t& start) {
  std::ifstream in(clock_file());
  if (!in) return Stored::unreadable;
  std::string key_id, id, key_start;
  long long value = 0;
  if (!(in >> key_id >> id >> key_start >> value) || key_id != "boot_id" || key_start != "start_boottime_ms") {
    return Stored::stale;
  }
  const std::string boot = linux_boot_id();
  if (boot.empty()) return Stored::unreadable;  // which boot is now cannot be told this moment
  if (id != boot) return Stored::stale;
  start = value;
  return Stored::current;
}

// The last start this process read, for a moment in which the file cannot be read.
std::atomic<std::int64_t> last_known_start{-1};

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
  std::int64_t start = 0;
  Stored stored = stored_start(start);
  if (stored == Stored::unreadable) {
    struct stat st {};
    const bool exists = ::stat(clock_file().c_str(), &st) == 0;
    const std::int64_t known = last_known_start.load();
    if (exists && known >= 0) {
      start = known;
      stored = Stored::current;
    }
  }
  if (stored != Stored::current) {
    // No file yet (the first process of several wins), or one left from an earlier Linux boot
    // (replaced, since it is stale).
    write_clock(boottime_ms(), stored == Stored::stale);
    if (stored_start(start) != Stored::current) start = boottime_ms();
  }
  last_known_start.store(start);
  const std::int64_t uptime = boottime_ms() - start;
  return uptime < 0 ? 0 : static_cast<std::uint64_t>(uptime);
}

bool restart_machine_clock(std::uint64_t uptime_ms) {
  return write_clock(boottime_ms() - static_cast<std::int64_t>(uptime_ms), true);
}

}  // namespace os::sim
