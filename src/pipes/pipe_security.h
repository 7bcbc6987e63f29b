// The security of every pipe instance a listener creates: LocalSystem gets all specific and
// standard rights but WRITE_DAC (0x1BFFFF); Everyone may connect, read and write, but not create
// instances of the pipe: GENERIC_WRITE would include FILE_CREATE_PIPE_INSTANCE (it is
// FILE_APPEND_DATA), with which any process could serve the same name and take askers' questions.
#pragma once

#include <memory>

#include "platform/os.h"

class PipeSecurity {
 public:
  static constexpr DWORD kSystemMask = 0x1BFFFF;
  static constexpr DWORD kEveryoneMask = (FILE_GENERIC_READ | FILE_GENERIC_WRITE) & ~FILE_CREATE_PIPE_INSTANCE;

  // Builds the descriptor. If any step fails, attributes() is null: the pipe gets default security.
  PipeSecurity();
  PipeSecurity(const PipeSecurity&) = delete;
  PipeSecurity& operator=(const PipeSecurity&) = delete;
  // Releases the access list and both identifiers (the pipe keeps its own copy of the descriptor).
  ~PipeSecurity();

  SECURITY_ATTRIBUTES* attributes() { return built_ ? &attributes_ : nullptr; }

 private:
  PSID everyone_ = nullptr;
  PSID system_ = nullptr;
  std::unique_ptr<DWORD[]> acl_;  // DWORD-aligned, zero-filled
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
  bool built_ = false;
};
