// Entry of vostrelusb: the application object does all of its work in InitInstance; the process
// then ends at once, as a framework application whose InitInstance returns FALSE. Worker threads
// still running (a listener, a watchdog) end with the process.
#include <cstdio>
#include <cstdlib>

#include "app/run_modes.h"

int main() {
  CvostrelusbApp app;
  app.InitInstance();
  std::fflush(nullptr);
  std::_Exit(0);
}
