// A small program for process tests: sleeps for the milliseconds given (default one minute) and
// exits with the status given second (default 0).
#include <chrono>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
  const long ms = argc > 1 ? std::atol(argv[1]) : 60000;
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  return argc > 2 ? std::atoi(argv[2]) : 0;
}
