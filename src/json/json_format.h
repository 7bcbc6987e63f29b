// Number texts of the JSON value, written directly: they are on the hot path of reading and writing
// large documents. Results equal text::format's "%i" and "%.8x".
#pragma once

#include <cstddef>
#include <string>

namespace json_format {

// "%i"
void append_decimal(std::u16string& out, int value);
// "%.8x" of an element's index: eight lower-case hexadecimal digits.
std::u16string index_key(std::size_t index);

}  // namespace json_format
