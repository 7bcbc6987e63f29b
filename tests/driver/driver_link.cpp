#include "driver/driver_link.h"

#include <gtest/gtest.h>

#include <cstring>

#include "driver/test_driver_codes.h"

namespace testing_support::driver {
namespace {

void put_u64(Bytes& bytes, std::size_t at, std::uint64_t value) { std::memcpy(bytes.data() + at, &value, 8); }

template <class T>
T get(const Bytes& bytes, std::size_t at) {
  T value{};
  if (at + sizeof(T) <= bytes.size()) std::memcpy(&value, bytes.data() + at, sizeof(T));
  return value;
}

}  // namespace

os::unique_hfile open_device() {
  return os::unique_hfile(os::CreateFileW(u"\\\\.\\VostUsb", 0x1F01FF, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

Reply control(HANDLE device, DWORD code, Bytes in, DWORD out_size) {
  Reply reply;
  reply.out.resize(out_size);
  DWORD returned = 0;
  reply.ok = os::DeviceIoControl(device, code, in.empty() ? nullptr : in.data(), static_cast<DWORD>(in.size()),
                                 out_size ? reply.out.data() : nullptr, out_size, &returned, nullptr) != FALSE;
  reply.error = reply.ok ? 0 : os::GetLastError();
  reply.out.resize(reply.ok ? returned : 0);
  return reply;
}

Bytes start_record(HANDLE notify_event, std::int64_t timeout_100ns, bool default_accepted) {
  Bytes record(18);
  put_u64(record, 0, reinterpret_cast<std::uintptr_t>(notify_event));
  put_u64(record, 8, static_cast<std::uint64_t>(timeout_100ns));
  record[16] = timeout_100ns == 0 ? 1 : 0;
  record[17] = default_accepted ? 1 : 0;
  return record;
}

Header parse_header(const Bytes& out) {
  return Header{get<std::uint64_t>(out, 0), get<std::uint32_t>(out, 8), get<std::uint8_t>(out, 12) != 0};
}

Bytes fetch_record(std::uint64_t id, std::uint32_t size) {
  Bytes record(size < 12 ? 12 : size);
  put_u64(record, 4, id);
  return record;
}

Request parse_request(const Bytes& out) {
  Request request;
  request.is_void = get<std::uint8_t>(out, 12) != 0;
  for (std::size_t at = kRequestTextOffset; at + 1 < out.size(); at += 2) {
    const char16_t c = get<char16_t>(out, at);
    if (c == 0) break;
    request.text.push_back(c);
  }
  return request;
}

Bytes answer_record(std::uint64_t id, bool refused) {
  Bytes record(9);
  put_u64(record, 0, id);
  record[8] = refused ? 1 : 0;
  return record;
}

Queued queue_request(HANDLE device, const std::u16string& text, bool is_void) {
  Bytes in(VOSTUSB_TEST_QUEUE_TEXT_OFFSET + text.size() * 2);
  in[0] = is_void ? 1 : 0;
  std::memcpy(in.data() + VOSTUSB_TEST_QUEUE_TEXT_OFFSET, text.data(), text.size() * 2);
  Queued queued;
  queued.reply = control(device, VOSTUSB_TEST_QUEUE_REQUEST, std::move(in), 8);
  queued.id = get<std::uint64_t>(queued.reply.out, 0);
  return queued;
}

DriverState read_state(HANDLE device) {
  const Reply reply = control(device, VOSTUSB_TEST_READ_STATE, {},
                              VOSTUSB_TEST_STATE_SIZE + VOSTUSB_TEST_ANSWERS_MAX * VOSTUSB_TEST_ANSWER_SIZE);
  EXPECT_TRUE(reply.ok) << "reading the test driver's state failed with " << reply.error;
  const Bytes& out = reply.out;
  DriverState state;
  state.user_test_on = get<std::uint8_t>(out, 0) != 0;
  state.default_accepted = get<std::uint8_t>(out, 1) != 0;
  state.timeout_flag = get<std::uint8_t>(out, 2) != 0;
  state.hubs_accepted = get<std::uint8_t>(out, 3) != 0;
  state.main_option_4 = get<std::uint32_t>(out, 4);
  state.answer_timeout = get<std::int64_t>(out, 8);
  state.names_cleared = get<std::uint32_t>(out, 16);
  state.types_cleared = get<std::uint32_t>(out, 20);
  state.sender_stops = get<std::uint32_t>(out, 24);
  state.pending = get<std::uint32_t>(out, 28);
  state.notifications = get<std::uint32_t>(out, 32);
  const std::uint32_t count = get<std::uint32_t>(out, 36);
  EXPECT_EQ(out.size(), VOSTUSB_TEST_STATE_SIZE + count * VOSTUSB_TEST_ANSWER_SIZE);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t at = VOSTUSB_TEST_STATE_SIZE + i * VOSTUSB_TEST_ANSWER_SIZE;
    state.answers.push_back(
        {get<std::uint64_t>(out, at), get<std::uint8_t>(out, at + 8) != 0, get<std::uint8_t>(out, at + 9) != 0});
  }
  return state;
}

DriverState wait_for_answers(HANDLE device, std::size_t answers, DWORD timeout_ms) {
  const DWORD started = os::GetTickCount();
  for (;;) {
    DriverState state = read_state(device);
    if ((state.answers.size() >= answers && state.pending == 0) || os::GetTickCount() - started >= timeout_ms)
      return state;
    os::Sleep(20);
  }
}

}  // namespace testing_support::driver
