// A driver device of the test's own, in the test's process: it records every control request with
// its input bytes and answers the user test's requests from a script (the header of the next peek,
// the bytes and size a fetch returns, control codes that fail).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/os.h"

namespace library_testing {

inline constexpr const char16_t* kFakeDevice = u"\\\\.\\VostUsbFake";

struct FakeCall {
  DWORD code;
  std::string in;
};

class FakeDriver {
 public:
  // Serves kFakeDevice until destroyed.
  FakeDriver();
  ~FakeDriver();
  FakeDriver(const FakeDriver&) = delete;
  FakeDriver& operator=(const FakeDriver&) = delete;

  // --- The script (set before the request) ---
  DWORD open_error = ERROR_SUCCESS;
  std::map<DWORD, DWORD> failures;  // control code -> its error
  std::string peek_output;          // the header bytes the peek returns
  std::string fetch_output;         // written into the fetch's buffer (cut to its size)
  std::size_t fetch_returned = SIZE_MAX;  // the size the fetch reports (cut to the buffer)

  // --- What happened ---
  std::vector<FakeCall> calls();
  std::vector<DWORD> codes();  // the control codes in order, without user test on and off
  int open_handles();
  // Sets the notification event of the last user test on, as the driver does for a new request.
  void notify();
  // Waits (up to 5 s) until a call with `code` was made `count` times.
  bool wait_for(DWORD code, std::size_t count = 1);

  BOOL control(DWORD code, const void* in, DWORD in_size, void* out, DWORD out_size, DWORD* returned);
  void closed();

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<FakeCall> calls_;
  int open_ = 0;
};

// Request records as the driver hands them over.
std::string Header(std::uint64_t identifier, std::uint32_t size, std::uint8_t nothing_pending = 0);
// The fetched request: the prefix (identifier at 4, void flag at 12) and the text's bytes as given.
std::string Fetched(std::uint64_t identifier, const std::string& text_bytes, std::uint8_t is_void = 0);

}  // namespace library_testing
