// The suite's scrambled form of its data files: the six-byte mark "C2H5OH", then the plain bytes
// XORed with a key stream that depends only on the position in the payload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace scramble {

inline constexpr std::string_view kMark = "C2H5OH";

// True when `bytes` is longer than the mark and starts with it.
bool has_mark(const std::uint8_t* bytes, std::size_t size);

// XORs `bytes` in place with the key stream from payload position 0. Applying it twice restores
// the input, so the same call scrambles and descrambles.
void apply_key_stream(std::uint8_t* bytes, std::size_t size);

// The scrambled file for plain `bytes`: the mark followed by the scrambled payload.
std::string scramble_file(std::string_view plain);

}  // namespace scramble
