// Text crosses into the SDK here: on Windows wchar_t and char16_t are both UTF-16 code units, so
// the product's char16_t text is handed over as wchar_t by a cast and copied back unchanged.
#pragma once

#include <algorithm>
#include <cstddef>

#include "platform/win32/win32_types.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the Windows build needs 16-bit wchar_t");

namespace os::win32 {

inline wchar_t* wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline const wchar_t* wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline const char16_t* utf16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }

// Copies a fixed-size text field of an SDK structure into the same field of ours.
template <std::size_t N>
void copy_text(char16_t (&to)[N], const wchar_t (&from)[N]) {
  std::transform(from, from + N, to, [](wchar_t c) { return static_cast<char16_t>(c); });
}

}  // namespace os::win32
