// Operations whose subsystems are not part of this build yet. Each one says so on the debugger
// output and does nothing, so what needs it visibly lacks it instead of pretending to succeed.
#include "app/run_modes.h"
#include "process/diagnostics.h"

void write_current_usb_list(const std::u16string&, int) { ODS(u"The USB device list is not available in this build."); }

void ensure_current_usb_list() { ODS(u"The current USB device list is not available in this build."); }

void load_initial_rules() { ODS(u"The initial rules are not available in this build."); }

void eject_unknown_drives() { ODS(u"The unknown-drive ejection is not available in this build."); }
