// The checksum that names a device: SHA-1 of its texts, computed by the platform's hashing.
#pragma once

#include <string>
#include <string_view>

// SHA-1 of the text's UTF-16LE code units (two bytes each, no terminator, no byte-order mark),
// as 40 upper-case hexadecimal digits. "" only when the platform's hashing fails.
std::u16string sha1_hex(std::u16string_view text);
