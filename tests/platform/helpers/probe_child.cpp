// A small program for the platform tests: reports who and where it is, then lingers and exits.
//   probe_child <report file> <exit code> <linger ms> [arguments...]
// The report (UTF-8 lines) holds the process id, the working folder, the command line and then each
// further argument as it arrived; it is written under another name and renamed, so that a report
// that exists is complete.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/os.h"
#include "text/utf.h"

int main(int argc, char** argv) {
  if (argc < 4) return 100;
  const std::string report = argv[1];
  {
    std::ofstream out(report + ".part", std::ios::binary | std::ios::trunc);
    out << os::GetCurrentProcessId() << "\n";
    out << std::filesystem::current_path().string() << "\n";
    out << text::to_utf8_display(os::GetCommandLineW()) << "\n";
    for (int i = 4; i < argc; ++i) out << argv[i] << "\n";
  }
  std::error_code ignored;
  std::filesystem::rename(report + ".part", report, ignored);
  std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(argv[3])));
  return std::atoi(argv[2]);
}
