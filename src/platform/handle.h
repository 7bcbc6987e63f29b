// One owner per OS handle: a small move-only holder defined by the handle's invalid value and its
// close function. Closing keeps the caller's last-error value, so code can close a handle on a
// failure path and still report the error that caused it.
#pragma once

#include <utility>

#include "platform/os.h"

namespace os {

template <class T, auto Close, auto Invalid>
class unique_any {
 public:
  unique_any() = default;
  explicit unique_any(T value) : value_(value) {}
  unique_any(const unique_any&) = delete;
  unique_any& operator=(const unique_any&) = delete;
  unique_any(unique_any&& other) noexcept : value_(other.release()) {}
  unique_any& operator=(unique_any&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~unique_any() { reset(); }

  T get() const { return value_; }
  explicit operator bool() const { return value_ != Invalid(); }
  T release() { return std::exchange(value_, Invalid()); }
  void reset(T value = Invalid()) {
    T old = std::exchange(value_, value);
    if (old != Invalid()) {
      const DWORD saved = os::GetLastError();
      Close(old);
      os::SetLastError(saved);
    }
  }
  // For out-parameters of Create/Open calls: closes what is held and hands out the slot.
  T* put() {
    reset();
    return &value_;
  }

 private:
  T value_ = Invalid();
};

namespace detail {
inline HANDLE null_handle() { return nullptr; }
inline HANDLE invalid_handle() { return INVALID_HANDLE_VALUE; }
inline HKEY null_key() { return nullptr; }
inline int invalid_fd() { return -1; }
inline void close_handle(HANDLE h) { os::CloseHandle(h); }
inline void find_close(HANDLE h) { os::FindClose(h); }
inline void reg_close(HKEY k) { os::RegCloseKey(k); }
inline void crt_close(int fd) { os::_close(fd); }
inline BCRYPT_ALG_HANDLE null_algorithm() { return nullptr; }
inline BCRYPT_HASH_HANDLE null_hash() { return nullptr; }
inline void close_algorithm(BCRYPT_ALG_HANDLE a) { os::BCryptCloseAlgorithmProvider(a, 0); }
inline void destroy_hash(BCRYPT_HASH_HANDLE h) { os::BCryptDestroyHash(h); }
inline HDEVINFO invalid_devinfo() { return reinterpret_cast<HDEVINFO>(INVALID_HANDLE_VALUE); }
inline void destroy_devinfo(HDEVINFO set) { os::SetupDiDestroyDeviceInfoList(set); }
inline SC_HANDLE null_service() { return nullptr; }
inline void close_service(SC_HANDLE h) { os::CloseServiceHandle(h); }
}  // namespace detail

// Files, devices, pipes and snapshots: invalid is INVALID_HANDLE_VALUE.
using unique_hfile = unique_any<HANDLE, detail::close_handle, detail::invalid_handle>;
// Events, mutexes, processes, threads and tokens: invalid is null.
using unique_handle = unique_any<HANDLE, detail::close_handle, detail::null_handle>;
using unique_hfind = unique_any<HANDLE, detail::find_close, detail::invalid_handle>;
using unique_hkey = unique_any<HKEY, detail::reg_close, detail::null_key>;
using unique_fd = unique_any<int, detail::crt_close, detail::invalid_fd>;
// CNG algorithm providers and hash objects: invalid is null.
using unique_bcrypt_algorithm = unique_any<BCRYPT_ALG_HANDLE, detail::close_algorithm, detail::null_algorithm>;
using unique_bcrypt_hash = unique_any<BCRYPT_HASH_HANDLE, detail::destroy_hash, detail::null_hash>;
// Device information sets of device setup: invalid is INVALID_HANDLE_VALUE.
using unique_hdevinfo = unique_any<HDEVINFO, detail::destroy_devinfo, detail::invalid_devinfo>;
// Service control manager and service handles: invalid is null.
using unique_schandle = unique_any<SC_HANDLE, detail::close_service, detail::null_service>;

}  // namespace os
