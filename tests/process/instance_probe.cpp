// Writes find_other_instance() of itself to the file given first (UTF-8 decimal), then sleeps
// for the milliseconds given second.
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "process/processes.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const DWORD other = find_other_instance();
  {
    std::ofstream out(argv[1], std::ios::trunc);
    out << other;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(argv[2])));
  return 0;
}
