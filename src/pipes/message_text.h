// Text in pipe messages: UTF-16LE code units, no byte-order mark, no terminator.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pipes/mem_buf.h"

// The code units of `text` as message bytes (2 per code unit).
bool append_message_text(CMemBuf& message, std::u16string_view text);
// The text of message bytes, up to the first NUL code unit or the end. An odd last byte counts as
// a code unit whose high byte is 0, as if the bytes were followed by the two zero bytes that end
// a text.
std::u16string message_text(const std::uint8_t* bytes, std::uint32_t size);
