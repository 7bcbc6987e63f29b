// How the helper programs of the pipe tests tell the test who they are: a small file written whole
// under a temporary name and then renamed, so a reader never sees half of it.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace pipe_test {

inline void write_report(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
  }
  std::error_code ignored;
  std::filesystem::rename(temporary, path, ignored);  // replaces the old report on Windows too
}

}  // namespace pipe_test
