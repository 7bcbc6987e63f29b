// Operations whose subsystems are not part of this build yet. Each one says so on the debugger
// output and fails, so a run mode that needs it ends visibly instead of pretending to succeed.
#include "process/diagnostics.h"
#include "process/run_modes.h"

BOOL run_service_mode() {
  ODS(u"Service mode is not available in this build.");
  return FALSE;
}

BOOL run_control_mode(const std::u16string& command) {
  ODS(u"Control command %s is not available in this build.", diag::message_filter(command));
  return FALSE;
}

void usb_list_service_mode(const std::u16string&) { ODS(u"The USB device list is not available in this build."); }

void test_rule_file(const std::u16string&) { ODS(u"The rule-file test is not available in this build."); }

void load_initial_rules() { ODS(u"The initial rules are not available in this build."); }
