// Loading the product configuration: the seven settings and the five rule lists, from the monitor's
// answer to "get_config" or, when it gives none, from the configuration file; the built-in rule
// files of the installation; the initial rules. Each run replaces every setting and every list.
#pragma once

#include <string>

// How long a question to the monitor may wait for the channel while the monitor is busy, and then
// for its answer, in milliseconds. The monitor answers at once; the asker holds config_lock, and
// every device decision waits for that lock, so a monitor that hangs must not hold them for the
// channel's general ten minutes.
inline constexpr unsigned kMonitorWait = 10000;

// Asks "kavenormon.exe" the question "get_config" on the channel "default": the configuration
// document as text, or "" when the monitor does not run or gives nothing.
std::u16string ask_monitor_for_config();

// Runs at start-up, on the command "cfg" and for the rule-file test. Holds config_lock throughout.
void read_config();

// The same with another source of the monitor's answer (tests).
using MonitorAsk = std::u16string (*)();
void read_config(MonitorAsk ask_monitor);
