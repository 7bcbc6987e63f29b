// Code pages: the ANSI code page (1252, or 1250 with VOSTUSB_SIM_ACP=1250) and
// MultiByteToWideChar for it, 1250, 1252 and UTF-8.
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "platform/os.h"
#include "platform/sim/errors.h"

namespace os {

namespace {

// Bytes 0x80 to 0xFF. Bytes the code page leaves undefined map to the C1 control of the same
// value, as Windows maps them.
constexpr char16_t kWindows1250[128] = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,  // 98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,  // A8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,  // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,  // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,  // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,  // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,  // F8
};

// Only 0x80 to 0x9F differ from Latin-1.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98
};

char16_t from_single_byte(UINT code_page, unsigned char byte) {
  if (byte < 0x80) return byte;
  if (code_page == 1250) return kWindows1250[byte - 0x80];
  return byte < 0xA0 ? kWindows1252High[byte - 0x80] : byte;
}

std::u16string decode_single_byte(UINT code_page, std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (char c : bytes) out += from_single_byte(code_page, static_cast<unsigned char>(c));
  return out;
}

// UTF-8 as Windows decodes it: surrogate pairs above U+FFFF; each invalid byte (overlong forms,
// encoded surrogates, values above U+10FFFF, cut-off sequences) becomes U+FFFD, or fails the whole
// call when `strict`.
std::optional<std::u16string> decode_utf8(std::string_view bytes, bool strict) {
  std::u16string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      out += b;
      ++i;
      continue;
    }
    const int extra = b >= 0xC2 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2 : b >= 0xF0 && b <= 0xF4 ? 3 : -1;
    char32_t c = extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    int taken = 0;
    if (extra > 0) {
      while (taken < extra && i + 1 + taken < bytes.size()) {
        const unsigned char next = static_cast<unsigned char>(bytes[i + 1 + taken]);
        // The second byte's range rules out overlong forms, surrogates and values above U+10FFFF.
        const unsigned char low = taken > 0 ? 0x80 : b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = taken > 0 ? 0xBF : b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
        if (next < low || next > high) break;
        c = (c << 6) | (next & 0x3F);
        ++taken;
      }
    }
    if (extra < 0 || taken < extra) {
      if (strict) return std::nullopt;
      out += char16_t{0xFFFD};
      i += static_cast<std::size_t>(taken > 0 ? taken + 1 : 1);
      continue;
    }
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

int fail_zero(DWORD error) {
  os::SetLastError(error);
  return 0;
}

}  // namespace

UINT GetACP() {
  const char* value = std::getenv("VOSTUSB_SIM_ACP");
  return value && std::strcmp(value, "1250") == 0 ? 1250 : 1252;
}

int MultiByteToWideChar(UINT code_page, DWORD flags, const char* text, int size, char16_t* out, int out_size) {
  if (code_page == CP_ACP) code_page = GetACP();
  if (code_page != 1250 && code_page != 1252 && code_page != CP_UTF8) return fail_zero(ERROR_INVALID_PARAMETER);
  if (!text || size == 0 || size < -1 || out_size < 0 || (!out && out_size > 0)) {
    return fail_zero(ERROR_INVALID_PARAMETER);
  }
  const DWORD allowed = code_page == CP_UTF8 ? MB_ERR_INVALID_CHARS : (MB_ERR_INVALID_CHARS | MB_PRECOMPOSED);
  if (flags & ~allowed) return fail_zero(ERROR_INVALID_FLAGS);

  // -1: the text runs to its NUL, which is converted too.
  const std::string_view bytes(text, size == -1 ? std::strlen(text) + 1 : static_cast<std::size_t>(size));
  std::u16string wide;
  if (code_page == CP_UTF8) {
    std::optional<std::u16string> decoded = decode_utf8(bytes, (flags & MB_ERR_INVALID_CHARS) != 0);
    if (!decoded) return fail_zero(ERROR_NO_UNICODE_TRANSLATION);
    wide = std::move(*decoded);
  } else {
    wide = decode_single_byte(code_page, bytes);
  }
  const auto needed = static_cast<int>(wide.size());
  if (out_size == 0) return needed;
  if (needed > out_size) return fail_zero(ERROR_INSUFFICIENT_BUFFER);
  wide.copy(out, wide.size());
  return needed;
}

}  // namespace os
