// How the helper programs of the pipe tests tell the test who they are: a small file written whole
// under a temporary name and then renamed, so a reader never sees half of it.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace pipe_test {

inline void write_report(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
  }
  // Replacing the old report fails on Windows while the test has it open for a read: it is tried
  // again until it is in (a report that never arrives would fail the test as a wrong value).
  for (int attempt = 0; attempt < 500; ++attempt) {
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (!error) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace pipe_test
