// The machine's languages: English (United States, 1033) unless VOSTUSB_SIM_UI_LANGUAGE gives
// another language id (decimal, or hexadecimal with "0x": 1045 and 0x0415 are both Polish).
#include <cstdlib>

#include "platform/os.h"

namespace os {

namespace {

constexpr LANGID kEnglishUnitedStates = 1033;

LANGID configured_language() {
  const char* value = std::getenv("VOSTUSB_SIM_UI_LANGUAGE");
  if (!value || !*value) return kEnglishUnitedStates;
  char* end = nullptr;
  const unsigned long id = std::strtoul(value, &end, 0);
  if (*end != '\0' || id == 0 || id > 0xFFFF) return kEnglishUnitedStates;
  return static_cast<LANGID>(id);
}

}  // namespace

LANGID GetUserDefaultUILanguage() { return configured_language(); }
LANGID GetSystemDefaultUILanguage() { return configured_language(); }

}  // namespace os
