// The parser's input: UTF-16 code units read from a file, in order. Reads are buffered, so loading
// a document costs one system call per block, not one per code unit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/handle.h"

namespace VostUsbWardenManager {

class Strumien {
 public:
  Strumien() = default;
  Strumien(const Strumien&) = delete;
  Strumien& operator=(const Strumien&) = delete;
  ~Strumien() { Close(); }

  // Opens an existing file for reading (others may read, write and delete it meanwhile). False when
  // this reader is already open or the file cannot be opened (the last-error value says why).
  bool OpenFileToRead(const std::u16string& path);
  // The file's size in bytes; 0 when not open or when the size cannot be queried.
  std::uint64_t getSize();
  // The next code unit (little-endian), or 0xFFFF when not open, when the read fails or at the end.
  char16_t ReadWChar();
  // Up to `count` next code units into `out`, decoded a block at a time; fewer only where
  // ReadWChar would have given 0xFFFF (not open, a failed read, the end). Returns how many.
  std::size_t ReadWChars(char16_t* out, std::size_t count);
  // False when it was not open.
  bool Close();

 private:
  bool Refill();

  os::unique_hfile file_;
  std::vector<unsigned char> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

}  // namespace VostUsbWardenManager
