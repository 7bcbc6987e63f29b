#include "config/read_config.h"
#include "process/diagnostics.h"

// The pipe channel is not part of this build yet: the monitor is never asked, so the
// configuration comes from the file.
std::u16string ask_monitor_for_config() {
  ODS(u"Asking the monitor is not available in this build.");
  return {};
}
