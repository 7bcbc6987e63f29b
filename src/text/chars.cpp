#include "text/chars.h"

namespace text {

bool is_space(char16_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

bool is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool is_xdigit(char16_t c) {
  return is_digit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

char16_t lower_az(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

std::u16string lower_az(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) c = lower_az(c);
  return out;
}

bool equals_nocase_az(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower_az(a[i]) != lower_az(b[i])) return false;
  }
  return true;
}

char16_t fold_case(char16_t c) {
  if (c < 0x80) return lower_az(c);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 0x20);
  if (c >= 0x100 && c <= 0x137 && (c & 1) == 0) return static_cast<char16_t>(c + 1);
  if (c >= 0x139 && c <= 0x148 && (c & 1) == 1) return static_cast<char16_t>(c + 1);
  if (c >= 0x14A && c <= 0x177 && (c & 1) == 0) return static_cast<char16_t>(c + 1);
  if (c == 0x178) return 0xFF;
  if (c >= 0x179 && c <= 0x17E && (c & 1) == 1) return static_cast<char16_t>(c + 1);
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return static_cast<char16_t>(c + 0x20);
  if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 0x20);
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
  return c;
}

std::u16string fold_case(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) c = fold_case(c);
  return out;
}

bool equals_nocase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fold_case(a[i]) != fold_case(b[i])) return false;
  }
  return true;
}

}  // namespace text
