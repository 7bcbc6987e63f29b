#include "platform/sim/file_info.h"

#include <cstdint>

namespace os::sim {

DWORD file_attributes(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
  if ((st.st_mode & 0222) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes;
}

FILETIME to_filetime(const timespec& time) {
  constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;
  const std::int64_t ticks = (static_cast<std::int64_t>(time.tv_sec) + kSecondsFrom1601To1970) * 10000000 + time.tv_nsec / 100;
  const auto value = static_cast<std::uint64_t>(ticks < 0 ? 0 : ticks);
  return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

}  // namespace os::sim
