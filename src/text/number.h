// Number parsing with the results of the Windows C run-time functions the system uses.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace text {

// _wtoi: leading white space (is_space), an optional sign, decimal digits; stops at the first other
// character; 0 when there are no digits. Out-of-range values saturate at INT_MIN / INT_MAX.
int wtoi(std::u16string_view s);

// wcstol with base 2..36 (or 0: "0x" hexadecimal, "0" octal, else decimal). `end` receives the
// number of code units consumed (0 when nothing was converted). Saturates at the 32-bit range.
long wcstol(std::u16string_view s, int base, std::size_t* end = nullptr);

// swscanf(s, "%lf"): leading white space, then the longest decimal floating-point text (sign,
// digits, point, exponent; "inf", "infinity", "nan"). Nothing when no number could be read.
std::optional<double> scan_double(std::u16string_view s);

// swscanf(s, "%x"): leading white space, an optional sign, an optional "0x", hexadecimal digits;
// the value wraps modulo 2^32. Nothing when no digit could be read.
std::optional<std::uint32_t> scan_hex(std::u16string_view s);

}  // namespace text
