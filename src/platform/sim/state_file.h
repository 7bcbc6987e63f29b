// Files of the machine's state under the sim root that several processes share (the registry, the
// USB hardware): a lock file beside them, whole-file reads, and replacement through a new file, so
// a process killed at any point leaves either the old or the new content, never a mix.
#pragma once

#include <optional>
#include <string>

#include "platform/os.h"

namespace os::sim {

// A machine-wide lock on `lock_path` (created with its folder when missing), shared for readers and
// exclusive for writers, held while the object lives.
class StateLock {
 public:
  StateLock(const std::string& lock_path, bool exclusive);
  ~StateLock();
  StateLock(const StateLock&) = delete;
  StateLock& operator=(const StateLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// The file's bytes; empty when it does not exist; nothing when it cannot be read.
std::optional<std::string> read_state_file(const std::string& path);

// Writes `bytes` to a new file and renames it over `path`: ERROR_SUCCESS, ERROR_ACCESS_DENIED when
// the new file cannot be made, ERROR_WRITE_FAULT when writing or renaming fails (the old content
// then stays).
DWORD replace_state_file(const std::string& path, const std::string& bytes);

}  // namespace os::sim
