// How the helper programs of the pipe tests tell the test who they are: a small file written whole
// under a temporary name and then renamed, so a reader never sees half of it.
#pragma once

#include <cstdio>
#include <fstream>
#include <string>

namespace pipe_test {

inline void write_report(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
  }
  std::rename(temporary.c_str(), path.c_str());
}

}  // namespace pipe_test
