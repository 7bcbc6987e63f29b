// The growable byte buffer in which pipe questions and answers, and data files, travel.
#pragma once

#include <cstdint>

class CMemBuf {
 public:
  CMemBuf() = default;
  CMemBuf(const CMemBuf&) = delete;
  CMemBuf& operator=(const CMemBuf&) = delete;
  CMemBuf(CMemBuf&& other) noexcept;
  CMemBuf& operator=(CMemBuf&& other) noexcept;
  ~CMemBuf();

  // Adds n bytes at the end. Nothing for n = 0; when they do not fit, the buffer is reallocated
  // to exactly size + n bytes. False (buffer unchanged) when memory or the 32-bit size runs out.
  bool Append(const void* bytes, std::uint32_t n);
  // Empties the buffer and frees what it owns.
  void Clear();
  // Replaces the contents with n bytes.
  bool Assign(const void* bytes, std::uint32_t n);
  // Points at bytes owned by someone else, without copying them; they are never freed here.
  void Borrow(const void* bytes, std::uint32_t n);

  std::uint8_t* data() { return data_; }
  const std::uint8_t* data() const { return data_; }
  std::uint32_t size() const { return size_; }
  std::uint32_t capacity() const { return capacity_; }
  bool borrowed() const { return borrowed_; }

 private:
  std::uint8_t* data_ = nullptr;
  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = 0;
  bool borrowed_ = false;
};
