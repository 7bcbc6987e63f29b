// Handing text to a caller's buffer with the size rules of the Win32 calls.
#pragma once

#include <algorithm>
#include <string_view>

#include "platform/os.h"

namespace os::sim {

// Copies as much of `text` as fits before a terminator into `size` code units and terminates it;
// returns the number of code units copied (the module-name calls' rule). Nothing fits when `size`
// is 0.
inline DWORD copy_cut_to_fit(std::u16string_view text, char16_t* buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return 0;
  const std::size_t count = std::min<std::size_t>(text.size(), size - 1);
  std::copy_n(text.data(), count, buffer);
  buffer[count] = u'\0';
  return static_cast<DWORD>(count);
}

// Copies `text` with its terminator when it fits in `size` code units; false otherwise.
inline bool copy_if_fits(std::u16string_view text, char16_t* buffer, DWORD size) {
  if (buffer == nullptr || text.size() >= size) return false;
  std::copy_n(text.data(), text.size(), buffer);
  buffer[text.size()] = u'\0';
  return true;
}

}  // namespace os::sim
