// The reader of every data file the process reads as a document: the whole file in memory,
// descrambled when it carries the suite's mark, decoded to text on request (UTF-16LE with or without
// byte-order mark, or narrow text in the ANSI code page).
#pragma once

#include <cstdint>
#include <string>

#include "pipes/mem_buf.h"

class CDataFile {
 public:
  CDataFile() = default;

  // Reads the file. Returns the (descrambled) bytes, or null when the file cannot be opened or
  // measured, or is empty. The data stays valid until the next read.
  const std::uint8_t* read(const std::u16string& path);
  // The data decoded to text, up to the first NUL character (decoded on the first call).
  std::u16string text();

  std::uint32_t size() const { return bytes.size(); }
  bool is_scrambled() const { return scrambled != 0; }
  const std::u16string& file_path() const { return path; }

 private:
  CMemBuf bytes;
  std::u16string path;
  int scrambled = 0;
  std::u16string decoded;
};
