// The decision on a new device, made while the driver holds the device until user mode says
// whether it may be used.
#pragma once

#include "platform/os.h"

// Non-zero allows the device, 0 blocks it. `device_text` is the JSON text of the driver's request
// (null is allowed). While "active" is off every device is allowed and nothing is recorded.
// Otherwise the whole decision runs under config_lock: the device is recorded in the accept folder;
// handed to a waiting capture (allowed, nothing else); decided by the rule lists, else by "action"
// (0 block, 1 allow, 2 ask the user through the tray program and send the answer to the monitor as
// a rule); reported when blocked (or always, with "report_on_allow"); and a device blocked without
// asking is announced to the tray program.
int vostusb_decision(const char16_t* device_text);

// How long a decision waits. Tests shorten them; the product never changes them.
struct DecisionWaits {
  // From a capture until its file is deleted.
  DWORD capture_cleanup_ms = 10000;
  // For the tray program's answer once it took the question: the pipe channel's own bound.
  DWORD tray_answer_ms = 600000;
};
extern DecisionWaits decision_waits;

// The accept folder is looked up once per process; tests that move the data folder forget it.
void forget_accept_folder();
