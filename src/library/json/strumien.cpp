#include "library/json/strumien.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace VostUsbWardenManager {

namespace {
constexpr std::size_t kBlockBytes = 64 * 1024;
}

bool Strumien::OpenFileToRead(const std::u16string& path) {
  if (file_) return false;
  file_.reset(os::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_) return false;
  buffer_.resize(kBlockBytes);
  begin_ = end_ = 0;
  return true;
}

std::uint64_t Strumien::getSize() {
  if (!file_) return 0;
  // INVALID_FILE_SIZE is also a valid low word; only the last-error value tells a failure apart.
  os::SetLastError(NO_ERROR);
  DWORD high = 0;
  const DWORD low = os::GetFileSize(file_.get(), &high);
  if (os::GetLastError() != NO_ERROR) return 0;
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

bool Strumien::Refill() {
  // A single byte may be left over from the previous block when a read returned an odd count.
  const std::size_t left = end_ - begin_;
  if (left > 0) std::memmove(buffer_.data(), buffer_.data() + begin_, left);
  begin_ = 0;
  end_ = left;
  DWORD got = 0;
  if (!os::ReadFile(file_.get(), buffer_.data() + left, static_cast<DWORD>(buffer_.size() - left), &got, nullptr)) {
    return false;
  }
  end_ += got;
  return end_ - begin_ >= 2;
}

char16_t Strumien::ReadWChar() {
  char16_t c = 0xFFFF;
  ReadWChars(&c, 1);
  return c;
}

std::size_t Strumien::ReadWChars(char16_t* out, std::size_t count) {
  if (!file_) return 0;
  std::size_t done = 0;
  while (done < count) {
    if (end_ - begin_ < 2 && !Refill()) break;
    const std::size_t units = std::min(count - done, (end_ - begin_) / 2);
    const unsigned char* bytes = buffer_.data() + begin_;
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(out + done, bytes, 2 * units);
    } else {
      for (std::size_t i = 0; i < units; ++i) {
        out[done + i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
      }
    }
    begin_ += 2 * units;
    done += units;
  }
  return done;
}

bool Strumien::Close() {
  if (!file_) return false;
  file_.reset();
  buffer_.clear();
  buffer_.shrink_to_fit();
  begin_ = end_ = 0;
  return true;
}

}  // namespace VostUsbWardenManager
