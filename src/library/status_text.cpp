#include "library/status_text.h"

#include "text/format.h"

namespace VostUsbWardenManager {

namespace {

// The formats end in "%c" given the NUL character, so the visible text ends with the code: what
// follows the first NUL is not part of it.
std::u16string UpToNul(std::u16string formatted) {
  const std::size_t nul = formatted.find(u'\0');
  if (nul != std::u16string::npos) formatted.resize(nul);
  return formatted;
}

}  // namespace

std::u16string ErrText(std::u16string_view message, std::uint32_t code) {
  return UpToNul(text::format(u"%s; err=0x%08lX%c", message, static_cast<unsigned long>(code), u'\0'));
}

std::u16string KodText(std::u16string_view message, std::uint32_t code) {
  return UpToNul(text::format(u"%s; kod błędu=%d%c", message, static_cast<int>(code), u'\0'));
}

std::uint32_t ExceptionCode(const JsonHolderException& e) {
  constexpr std::uint32_t kInvalidData = 13;
  return e.Code() != 0 ? static_cast<std::uint32_t>(e.Code()) : kInvalidData;
}

}  // namespace VostUsbWardenManager
