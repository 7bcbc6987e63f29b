#include "pipes/mem_buf.h"

#include <cstdlib>
#include <cstring>
#include <utility>

CMemBuf::CMemBuf(CMemBuf&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      borrowed_(std::exchange(other.borrowed_, false)) {}

CMemBuf& CMemBuf::operator=(CMemBuf&& other) noexcept {
  if (this != &other) {
    Clear();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    borrowed_ = std::exchange(other.borrowed_, false);
  }
  return *this;
}

CMemBuf::~CMemBuf() { Clear(); }

bool CMemBuf::Append(const void* bytes, std::uint32_t n) {
  if (n == 0) return true;
  if (size_ > UINT32_MAX - n) return false;
  const std::uint32_t needed = size_ + n;
  if (needed > capacity_ || borrowed_) {
    auto* grown = static_cast<std::uint8_t*>(std::malloc(needed));
    if (!grown) return false;
    if (size_ > 0) std::memcpy(grown, data_, size_);
    if (!borrowed_) std::free(data_);
    data_ = grown;
    borrowed_ = false;
    capacity_ = needed > capacity_ ? needed : capacity_;
  }
  std::memcpy(data_ + size_, bytes, n);
  size_ = needed;
  return true;
}

void CMemBuf::Clear() {
  if (!borrowed_) std::free(data_);
  data_ = nullptr;
  size_ = 0;
  capacity_ = 0;
  borrowed_ = false;
}

bool CMemBuf::Assign(const void* bytes, std::uint32_t n) {
  CMemBuf fresh;
  if (!fresh.Append(bytes, n)) return false;
  *this = std::move(fresh);
  return true;
}

void CMemBuf::Borrow(const void* bytes, std::uint32_t n) {
  Clear();
  data_ = static_cast<std::uint8_t*>(const_cast<void*>(bytes));
  size_ = n;
  capacity_ = n;
  borrowed_ = true;
}
