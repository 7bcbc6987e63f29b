// Settings and rule lists set by a test, and put back to their start values afterwards.
#pragma once

#include <mutex>
#include <vector>

#include "config/settings.h"

namespace decision_test {

inline CUsbRule rule(const char16_t* produkt, const char16_t* producent, const char16_t* numer, const char16_t* klasa,
                     const char16_t* opis, int action) {
  return CUsbRule{produkt, producent, numer, klasa, opis, action};
}

// Every setting at its value before the first configuration load, every list empty.
inline void reset_settings() {
  std::lock_guard<std::recursive_mutex> lock(config_lock);
  active = 0;
  action = 1;
  allow_io = allow_printers = allow_network = report_on_allow = allow_initial = 1;
  for (auto* list : {&io_rules, &printer_rules, &network_rules, &config_rules, &initial_rules}) list->clear();
}

}  // namespace decision_test
