// A file's bytes as a benchmark reads what the guard wrote (empty when it cannot be read).
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

inline std::string file_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
