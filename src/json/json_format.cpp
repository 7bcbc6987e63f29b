#include "json/json_format.h"

#include <charconv>
#include <cstdint>

namespace json_format {

void append_decimal(std::u16string& out, int value) {
  char digits[16];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

std::u16string index_key(std::size_t index) {
  static constexpr char16_t kHex[] = u"0123456789abcdef";
  // "%.8x" takes a 32-bit unsigned value.
  std::uint32_t value = static_cast<std::uint32_t>(index);
  std::u16string key(8, u'0');
  for (std::size_t i = key.size(); i-- > 0; value >>= 4) key[i] = kHex[value & 0xF];
  return key;
}

}  // namespace json_format
