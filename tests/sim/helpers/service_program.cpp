// A service program that never reports to the service manager: it writes its process id to the
// file named by its first argument, then waits (at most a minute) to be ended.
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  if (FILE* f = std::fopen(argv[1], "w")) {
    std::fprintf(f, "%d\n", static_cast<int>(::getpid()));
    std::fclose(f);
  }
  for (int i = 0; i < 600; ++i) ::usleep(100000);
  return 0;
}
