// The library's failure messages: a fixed text followed by the error code, either as eight
// upper-case hexadecimal digits ("; err=0x%08lX") or in decimal ("; kod błędu=%d"). The texts are
// kept whole, however long the fixed part is.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "library/json/json_holder_exception.h"

namespace VostUsbWardenManager {

// "<message>; err=0x0000xxxx"
std::u16string ErrText(std::u16string_view message, std::uint32_t code);
// "<message>; kod błędu=<code in decimal>"
std::u16string KodText(std::u16string_view message, std::uint32_t code);

// The error code of a caught JSON failure. Failures of the value itself carry no code (0); they
// give ERROR_INVALID_DATA (13), so that a failure is never returned as success.
std::uint32_t ExceptionCode(const JsonHolderException& e);

}  // namespace VostUsbWardenManager
