#include "pipes/message_text.h"

#include "text/utf.h"

bool append_message_text(CMemBuf& message, std::u16string_view text) {
  if (text.size() > UINT32_MAX / 2) return false;
  const std::string bytes = text::to_utf16le(text);
  return message.Append(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

std::u16string message_text(const std::uint8_t* bytes, std::uint32_t size) {
  std::u16string text;
  for (std::uint32_t i = 0; i < size; i += 2) {
    const char16_t high = i + 1 < size ? static_cast<char16_t>(bytes[i + 1] << 8) : 0;
    const char16_t unit = static_cast<char16_t>(bytes[i] | high);
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}
