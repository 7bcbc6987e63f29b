// Conversions between the system's UTF-16 text and bytes.
#pragma once

#include <string>
#include <string_view>

namespace text {

// UTF-8 as the system writes it for other programs: code units one by one, below 0x80 one byte,
// below 0x800 two bytes, otherwise three; code units 0xD800 to 0xDFFF are left out.
std::string to_utf8(std::u16string_view s);

// Standard UTF-8 decoding (surrogate pairs for characters above U+FFFF); invalid bytes become U+FFFD.
std::u16string from_utf8(std::string_view s);

// Full UTF-8 of UTF-16 text (pairs as one character, lone surrogates as U+FFFD), for showing text
// to a person on a terminal.
std::string to_utf8_display(std::u16string_view s);

// UTF-16LE bytes without byte-order mark, and back (an odd last byte is dropped).
std::string to_utf16le(std::u16string_view s);
std::u16string from_utf16le(std::string_view bytes);

// `s` with every unpaired surrogate replaced by U+FFFD, so that it is valid UTF-16.
std::u16string repair_utf16(std::u16string_view s);

// ASCII literal or narrow text widened byte by byte (for names and fixed texts).
std::u16string widen_ascii(std::string_view s);

}  // namespace text
