// The process-wide settings and rule lists on which every device decision rests. They change only
// in read_config, which replaces all of them under config_lock; whoever reads them takes the lock.
#pragma once

#include <mutex>
#include <vector>

#include "config/usb_rule.h"

// The keys under "usb" of the product configuration. Values before the first read_config.
extern int active;           // "active": decisions are made at all (0 or 1)
extern int action;           // "action": a device no rule decides is 0 blocked, 1 allowed, 2 asked about
extern int allow_io;         // "allow_io": io_rules take part
extern int allow_printers;   // "allow_printers": printer_rules take part
extern int allow_network;    // "allow_network": network_rules take part
extern int report_on_allow;  // "report_on_allow": allowed devices are reported too
extern int allow_initial;    // "allow_initial": initial_rules take part

// In evaluation order.
extern std::vector<CUsbRule> io_rules;       // bin\u_io.bin of the installation
extern std::vector<CUsbRule> printer_rules;  // bin\u_pr.bin
extern std::vector<CUsbRule> network_rules;  // bin\u_net.bin
extern std::vector<CUsbRule> config_rules;   // "usb" -> "rules" of the configuration
extern std::vector<CUsbRule> initial_rules;  // devices present when the guard was set up

// Guards the settings, the lists and each whole decision. Re-entrant for its owner thread:
// read_config holds it while it loads the initial rules, which take it too.
extern std::recursive_mutex config_lock;
