// Operations whose subsystems are not part of this build yet. Each one says so on the debugger
// output and fails, so a run mode that needs it ends visibly instead of pretending to succeed.
#include "app/run_modes.h"
#include "process/diagnostics.h"

void usb_list_service_mode(const std::u16string&) { ODS(u"The USB device list is not available in this build."); }

// Service mode then takes its failed-start path: it stops by itself after 2 s.
int driver_start() {
  ODS(u"The driver bring-up is not available in this build.");
  return 0;
}

int driver_stop() {
  ODS(u"The driver tear-down is not available in this build.");
  return 1;
}

void ensure_current_usb_list() { ODS(u"The current USB device list is not available in this build."); }

void load_initial_rules() { ODS(u"The initial rules are not available in this build."); }
