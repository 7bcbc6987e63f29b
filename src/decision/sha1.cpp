#include "decision/sha1.h"

#include <algorithm>
#include <string>

#include "platform/handle.h"
#include "text/format.h"
#include "text/utf.h"

namespace {

constexpr ULONG kSha1Size = 20;

}  // namespace

std::u16string sha1_hex(std::u16string_view text) {
  std::string bytes = text::to_utf16le(text);
  os::unique_bcrypt_algorithm algorithm;
  if (!BCRYPT_SUCCESS(os::BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA1_ALGORITHM, nullptr, 0))) return u"";
  os::unique_bcrypt_hash hash;
  if (!BCRYPT_SUCCESS(os::BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0))) return u"";
  // CNG takes at most 4 GiB per call; the texts hashed here are far shorter, but a long one is fed
  // in pieces rather than cut.
  constexpr std::size_t kPiece = 0x40000000;
  for (std::size_t at = 0; at < bytes.size(); at += kPiece) {
    const ULONG size = static_cast<ULONG>(std::min(kPiece, bytes.size() - at));
    if (!BCRYPT_SUCCESS(os::BCryptHashData(hash.get(), reinterpret_cast<UCHAR*>(bytes.data() + at), size, 0))) return u"";
  }
  UCHAR digest[kSha1Size] = {};
  if (!BCRYPT_SUCCESS(os::BCryptFinishHash(hash.get(), digest, kSha1Size, 0))) return u"";
  std::u16string hex;
  hex.reserve(2 * kSha1Size);
  for (UCHAR byte : digest) hex += text::format(u"%02X", static_cast<unsigned>(byte));
  return hex;
}
