#include "text/number.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <string>

#include "text/chars.h"

namespace text {

namespace {

std::size_t skip_space(std::u16string_view s, std::size_t i = 0) {
  while (i < s.size() && is_space(s[i])) ++i;
  return i;
}

int digit_value(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'z') return c - u'a' + 10;
  if (c >= u'A' && c <= u'Z') return c - u'A' + 10;
  return 99;
}

bool starts_with_nocase(std::u16string_view s, std::size_t at, std::u16string_view word) {
  if (s.size() - at < word.size()) return false;
  return equals_nocase_az(s.substr(at, word.size()), word);
}

}  // namespace

long wcstol(std::u16string_view s, int base, std::size_t* end) {
  if (end) *end = 0;
  std::size_t i = skip_space(s);
  bool negative = false;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
  if ((base == 0 || base == 16) && i + 1 < s.size() && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X') &&
      i + 2 < s.size() && digit_value(s[i + 2]) < 16) {
    i += 2;
    base = 16;
  } else if (base == 0) {
    base = (i < s.size() && s[i] == u'0') ? 8 : 10;
  }
  if (base < 2 || base > 36) return 0;
  const std::size_t first = i;
  long long value = 0;
  bool overflow = false;
  for (; i < s.size() && digit_value(s[i]) < base; ++i) {
    value = value * base + digit_value(s[i]);
    if (value > static_cast<long long>(INT32_MAX) + 1) overflow = true, value = static_cast<long long>(INT32_MAX) + 1;
  }
  if (i == first) return 0;
  if (end) *end = i;
  if (negative) {
    return overflow || value > static_cast<long long>(INT32_MAX) + 1 ? INT32_MIN : static_cast<long>(-value);
  }
  return value > INT32_MAX ? INT32_MAX : static_cast<long>(value);
}

int wtoi(std::u16string_view s) { return static_cast<int>(wcstol(s, 10)); }

std::optional<double> scan_double(std::u16string_view s) {
  std::size_t i = skip_space(s);
  bool negative = false;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
  const double sign = negative ? -1.0 : 1.0;
  if (starts_with_nocase(s, i, u"infinity") || starts_with_nocase(s, i, u"inf")) return sign * HUGE_VAL;
  if (starts_with_nocase(s, i, u"nan")) return std::nan("");
  std::string ascii;
  std::size_t mantissa_digits = 0;
  for (; i < s.size() && is_digit(s[i]); ++i, ++mantissa_digits) ascii += static_cast<char>(s[i]);
  if (i < s.size() && s[i] == u'.') {
    ascii += '.';
    for (++i; i < s.size() && is_digit(s[i]); ++i, ++mantissa_digits) ascii += static_cast<char>(s[i]);
  }
  if (mantissa_digits == 0) return std::nullopt;
  if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
    std::size_t j = i + 1;
    std::string exponent = "e";
    if (j < s.size() && (s[j] == u'+' || s[j] == u'-')) exponent += static_cast<char>(s[j++]);
    std::size_t exponent_digits = 0;
    for (; j < s.size() && is_digit(s[j]); ++j, ++exponent_digits) exponent += static_cast<char>(s[j]);
    if (exponent_digits > 0) ascii += exponent;
  }
  double value = 0;
  const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    // Too large gives infinity, too small gives zero, as strtod.
    const bool tiny = ascii.find("e-") != std::string::npos;
    value = tiny ? 0.0 : HUGE_VAL;
  }
  return sign * value;
}

std::optional<std::uint32_t> scan_hex(std::u16string_view s) {
  std::size_t i = skip_space(s);
  bool negative = false;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
  bool prefix = false;
  if (i + 1 < s.size() && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) i += 2, prefix = true;
  const std::size_t first = i;
  std::uint32_t value = 0;
  for (; i < s.size() && is_xdigit(s[i]); ++i) value = value * 16 + static_cast<std::uint32_t>(digit_value(s[i]));
  if (i == first) {
    // "0x" with no digit after it still read the zero.
    if (prefix) return 0u;
    return std::nullopt;
  }
  return negative ? 0u - value : value;
}

}  // namespace text
