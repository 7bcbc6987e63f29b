// Counts of the platform calls a piece of code makes, so that a benchmark can show that two loops
// ask the platform the same things. The counting wraps the os:: functions at link time (the
// benchmark links with -Wl,--wrap for each of them); only Linux builds of benchmarks use it.
#pragma once

#include <cstdint>

struct OsCallCounts {
  std::uint64_t opens = 0;     // CreateFileW
  std::uint64_t ioctls = 0;    // DeviceIoControl
  std::uint64_t cm_calls = 0;  // CM_*
  std::uint64_t setup_calls = 0;  // SetupDi*

  bool operator==(const OsCallCounts&) const = default;
};

// The calls made since the program started.
OsCallCounts os_call_counts();

inline OsCallCounts operator-(const OsCallCounts& a, const OsCallCounts& b) {
  return {a.opens - b.opens, a.ioctls - b.ioctls, a.cm_calls - b.cm_calls, a.setup_calls - b.setup_calls};
}
