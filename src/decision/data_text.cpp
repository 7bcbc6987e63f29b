#include "decision/data_text.h"

#include <cstdint>
#include <string_view>

#include "config/data_file.h"
#include "text/utf.h"

namespace {

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool is_utf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<std::uint8_t>(bytes[i]);
    std::size_t length = 0;
    std::uint32_t low = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, low = 0x80, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, low = 0x800, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, low = 0x10000, code = lead & 0x07;
    } else {
      return false;
    }
    if (i + length > bytes.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<std::uint8_t>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < low || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

}  // namespace

bool read_data_text(const std::u16string& path, std::u16string& text) {
  CDataFile file;
  const std::uint8_t* data = file.read(path);
  if (!data) return false;
  const std::string_view bytes(reinterpret_cast<const char*>(data), file.size());
  // Where CDataFile itself decodes UTF-16LE: after a byte-order mark, or with a zero second byte.
  const std::size_t start = bytes.size() > 2 && bytes.substr(0, 2) == "\xFF\xFE" ? 2 : 0;
  const bool narrow = bytes.size() > start + 1 && bytes[start + 1] != '\0';
  std::string_view utf8 = bytes.substr(0, bytes.find('\0'));
  if (utf8.starts_with("\xEF\xBB\xBF")) utf8.remove_prefix(3);
  text = narrow && is_utf8(utf8) ? text::from_utf8(utf8) : file.text();
  return true;
}
