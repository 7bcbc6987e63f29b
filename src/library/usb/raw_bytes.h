// Raw USB descriptor bytes as the USB stack returns them: little-endian and packed. Every read is
// bounded by the bytes actually at hand; a field that lies past the end reads as 0, so a short or
// lying buffer still gives a defined record and never a read outside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace VostUsbWardenManager {

using RawBytes = std::span<const std::uint8_t>;

inline std::uint8_t byte_at(RawBytes v, std::size_t at) { return at < v.size() ? v[at] : 0; }

inline std::uint16_t word_at(RawBytes v, std::size_t at) {
  return static_cast<std::uint16_t>(byte_at(v, at) | (byte_at(v, at + 1) << 8));
}

inline std::uint32_t dword_at(RawBytes v, std::size_t at) {
  return static_cast<std::uint32_t>(word_at(v, at)) | (static_cast<std::uint32_t>(word_at(v, at + 2)) << 16);
}

// The bytes from `at` on, empty when `at` lies past the end.
inline RawBytes bytes_from(RawBytes v, std::size_t at) { return at < v.size() ? v.subspan(at) : RawBytes(); }

// At most the first `count` bytes.
inline RawBytes first_bytes(RawBytes v, std::size_t count) { return count < v.size() ? v.first(count) : v; }

// UTF-16LE text up to its first NUL or the end of the bytes (an odd last byte is dropped).
inline std::u16string utf16_up_to_nul(RawBytes bytes) {
  std::u16string text;
  for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
    const auto c = static_cast<char16_t>(word_at(bytes, at));
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

}  // namespace VostUsbWardenManager
