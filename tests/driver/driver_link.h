// Talking to the test driver the way the guard's driver control library does: the device opened
// with the interface's access, control codes with their packed records. Each call is one small
// function, so that a test can later swap it for the library's own (Manager, DeviceTester).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "platform/handle.h"

namespace testing_support::driver {

inline constexpr DWORD kClearAcceptedNames = 0x22201C;
inline constexpr DWORD kClearAcceptedTypes = 0x222048;
inline constexpr DWORD kUserTestOn = 0x22205C;
inline constexpr DWORD kUserTestOff = 0x222060;
inline constexpr DWORD kFetch = 0x222064;
inline constexpr DWORD kPeek = 0x222068;
inline constexpr DWORD kAnswer = 0x22206C;
inline constexpr DWORD kNotifySenderStop = 0x222074;
inline constexpr DWORD kMainOption4 = 0x2220A4;
inline constexpr DWORD kHubsAcceptOn = 0x2220A8;
inline constexpr DWORD kHubsAcceptOff = 0x2220AC;

inline constexpr std::size_t kHeaderSize = 14;
inline constexpr std::size_t kRequestTextOffset = 14;

using Bytes = std::vector<std::uint8_t>;

// One control call: whether it succeeded, GetLastError when not, the output as far as written.
struct Reply {
  bool ok = false;
  DWORD error = 0;
  Bytes out;
};

// CreateFileW on "\\.\VostUsb", access 0x1F01FF, no sharing, OPEN_EXISTING, no flags.
os::unique_hfile open_device();

// DeviceIoControl with `in` as input and an output buffer of `out_size` bytes (none when 0).
Reply control(HANDLE device, DWORD code, Bytes in = {}, DWORD out_size = 0);

// The 18-byte start record.
Bytes start_record(HANDLE notify_event, std::int64_t timeout_100ns, bool default_accepted);

struct Header {
  std::uint64_t id = 0;
  std::uint32_t size = 0;
  bool nothing_pending = true;
};
Header parse_header(const Bytes& out);

// The request record to fetch the request `id` of `size` bytes: zeros with the identifier at 4.
Bytes fetch_record(std::uint64_t id, std::uint32_t size);

struct Request {
  bool is_void = true;
  std::u16string text;  // up to the first NUL
};
Request parse_request(const Bytes& out);

// The 9-byte answer: the identifier, then 1 when refused.
Bytes answer_record(std::uint64_t id, bool refused);

// The test driver's own codes (test_driver_codes.h).
struct Queued {
  Reply reply;
  std::uint64_t id = 0;
};
Queued queue_request(HANDLE device, const std::u16string& text, bool is_void = false);

struct DriverState {
  bool user_test_on = false;
  bool default_accepted = false;
  bool timeout_flag = false;
  bool hubs_accepted = false;
  std::uint32_t main_option_4 = 0;
  std::int64_t answer_timeout = 0;
  std::uint32_t names_cleared = 0;
  std::uint32_t types_cleared = 0;
  std::uint32_t sender_stops = 0;
  std::uint32_t pending = 0;
  std::uint32_t notifications = 0;
  struct Answer {
    std::uint64_t id;
    bool refused;
    bool by_driver = false;  // the answer time-out passed
    bool operator==(const Answer&) const = default;
    friend void PrintTo(const Answer& answer, std::ostream* out) {
      *out << "{" << answer.id << (answer.refused ? ", refused" : ", accepted")
           << (answer.by_driver ? " by the driver}" : "}");
    }
  };
  std::vector<Answer> answers;
};
// Fails the calling test when the driver does not answer.
DriverState read_state(HANDLE device);

// The driver's state once it holds at least `answers` answers and nothing is pending, or as it is
// when `timeout_ms` has passed.
DriverState wait_for_answers(HANDLE device, std::size_t answers, DWORD timeout_ms = 5000);

}  // namespace testing_support::driver
