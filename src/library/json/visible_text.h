// The library's messages are formatted with a final "%c" given the NUL character, which ends the
// visible text. The formatted text is kept whole, however long: there is no fixed-size buffer to
// cut it.
#pragma once

#include <string>

namespace VostUsbWardenManager {

inline std::u16string VisibleText(std::u16string formatted) {
  if (!formatted.empty() && formatted.back() == u'\0') formatted.pop_back();
  return formatted;
}

}  // namespace VostUsbWardenManager
