// The filter driver's device interface: its control codes and the records exchanged with it. All
// records are packed and little-endian (both builds run on little-endian machines only).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os.h"

namespace VostUsbWardenManager::driver {

// The device the service process opens, and the access it asks for.
inline constexpr const char16_t* kDevicePath = u"\\\\.\\VostUsb";
inline constexpr DWORD kDeviceAccess = 0x1F01FF;

// Device type 0x22, METHOD_BUFFERED, FILE_ANY_ACCESS.
constexpr DWORD control_code(DWORD function) { return (0x22u << 16) | (function << 2); }

inline constexpr DWORD kClearAcceptedNameList = 0x22201C;
inline constexpr DWORD kClearAcceptedTypeList = 0x222048;
inline constexpr DWORD kUserTestOn = 0x22205C;    // in: StartRecord
inline constexpr DWORD kUserTestOff = 0x222060;
inline constexpr DWORD kPeekRequest = 0x222068;   // out: RequestHeader
inline constexpr DWORD kFetchRequest = 0x222064;  // in/out: request of the size the header gave
inline constexpr DWORD kAnswerRequest = 0x22206C; // in: Answer
inline constexpr DWORD kStopNotifying = 0x222074;
inline constexpr DWORD kSetFilesAndCacheMode = 0x2220A4;  // in: 32-bit mode
inline constexpr DWORD kHubsAcceptOn = 0x2220A8;
inline constexpr DWORD kHubsAcceptOff = 0x2220AC;

static_assert(control_code(0x807) == kClearAcceptedNameList);
static_assert(control_code(0x82B) == kHubsAcceptOff);

#pragma pack(push, 1)

// User test on: the notification event (a manual-reset event of the caller), the answer time-out
// in 100 ns units, whether that time-out is zero, and the verdict when no answer comes.
struct StartRecord {
  std::uint64_t event_handle;
  std::int64_t answer_timeout;
  std::uint8_t timeout_is_zero;
  std::uint8_t default_accepted;
};

// Peek: the next request's identifier and size, or `nothing_pending` non-zero.
struct RequestHeader {
  std::uint64_t identifier;
  std::uint32_t size;
  std::uint8_t nothing_pending;
  std::uint8_t unused;
};

// Fetch: the caller sends zeros with the identifier; the driver fills `is_void` and the
// NUL-terminated UTF-16 device text that follows this prefix, within the size the header gave.
struct RequestPrefix {
  std::uint32_t reserved;
  std::uint64_t identifier;
  std::uint8_t is_void;
  std::uint8_t unused;
};

// Answer: 1 when the test callback refused the device, 0 when it accepted it.
struct Answer {
  std::uint64_t identifier;
  std::uint8_t refused;
};

#pragma pack(pop)

static_assert(sizeof(StartRecord) == 18);
static_assert(sizeof(RequestHeader) == 14);
static_assert(sizeof(RequestPrefix) == 14);
static_assert(offsetof(RequestPrefix, identifier) == 4);
static_assert(offsetof(RequestPrefix, is_void) == 12);
static_assert(sizeof(Answer) == 9);

inline constexpr std::size_t kRequestTextOffset = sizeof(RequestPrefix);
inline constexpr DWORD kFilesAndCacheModeSize = 4;

}  // namespace VostUsbWardenManager::driver
