// Kernel objects that ReadFile, WriteFile and FlushFileBuffers work on: disk files here; pipe ends
// and devices join by deriving from IoObject.
#pragma once

#include <sys/types.h>

#include "platform/sim/handles.h"

namespace os::sim {

class IoObject : public KernelObject {
 public:
  // Each sets the last error and returns FALSE on failure, as the Win32 call does.
  virtual BOOL read(void* buffer, DWORD count, DWORD* done) = 0;
  virtual BOOL write(const void* buffer, DWORD count, DWORD* done) = 0;
  virtual BOOL flush() = 0;
};

// An open disk file: owns its Linux descriptor and remembers the access it was opened for.
class FileObject final : public IoObject {
 public:
  FileObject(int fd, bool can_read, bool can_write) : fd_(fd), can_read_(can_read), can_write_(can_write) {}
  ~FileObject() override;
  FileObject(const FileObject&) = delete;
  FileObject& operator=(const FileObject&) = delete;

  BOOL read(void* buffer, DWORD count, DWORD* done) override;
  BOOL write(const void* buffer, DWORD count, DWORD* done) override;
  BOOL flush() override;

  // Moves the file pointer to an absolute position (synchronous I/O at an OVERLAPPED offset).
  bool seek_to(off_t position);
  int fd() const { return fd_; }
  bool can_write() const { return can_write_; }

 private:
  int fd_;
  bool can_read_;
  bool can_write_;
};

}  // namespace os::sim
