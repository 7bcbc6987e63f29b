#include "config/scramble.h"

#include <cstring>

namespace scramble {

namespace {

// The key of the scrambling, shared with the suite's writers of these files. The multiplier and
// the seed are odd, so the low byte of the state never becomes zero and the stream never
// collapses to the substitute byte.
constexpr std::uint32_t kSeed = 0x5B;
constexpr std::uint32_t kMultiplier = 0xC5;
constexpr std::uint8_t kSubstitute = 0x6D;

}  // namespace

bool has_mark(const std::uint8_t* bytes, std::size_t size) {
  return size > kMark.size() && std::memcmp(bytes, kMark.data(), kMark.size()) == 0;
}

void apply_key_stream(std::uint8_t* bytes, std::size_t size) {
  std::uint32_t state = kSeed;
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t low = static_cast<std::uint8_t>(state & 0xFF);
    bytes[i] ^= low == 0 ? kSubstitute : low;
    state *= kMultiplier;
  }
}

std::string scramble_file(std::string_view plain) {
  std::string out(kMark);
  out.append(plain);
  apply_key_stream(reinterpret_cast<std::uint8_t*>(out.data() + kMark.size()), plain.size());
  return out;
}

}  // namespace scramble
