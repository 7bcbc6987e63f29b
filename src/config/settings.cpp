#include "config/settings.h"

int active = 0;
int action = 1;
int allow_io = 1;
int allow_printers = 1;
int allow_network = 1;
int report_on_allow = 1;
int allow_initial = 1;

std::vector<CUsbRule> io_rules;
std::vector<CUsbRule> printer_rules;
std::vector<CUsbRule> network_rules;
std::vector<CUsbRule> config_rules;
std::vector<CUsbRule> initial_rules;

std::recursive_mutex config_lock;
