// The test driver under the real service control manager and I/O manager (Wine on Linux): the
// driver interface's whole exchange, as the guard's notification thread drives it, and the
// failures a driver gives for malformed calls.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "driver/driver_link.h"
#include "driver/driver_service.h"
#include "platform/handle.h"
#include "platform/os.h"
#include "text/utf.h"

namespace {

using namespace testing_support::driver;
using testing_support::TestDriverService;

constexpr std::int64_t kGuardTimeout = 1200000000;  // 120 s, what the service process sends

// One driver service for the whole suite: starting a kernel service is the slow part.
class TestDriver : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    service_ = std::make_unique<TestDriverService>(testing_support::test_driver_image());
    start_error_ = service_->install_and_start();
  }
  static void TearDownTestSuite() { service_.reset(); }

  void SetUp() override {
    ASSERT_EQ(start_error_, 0u) << text::to_utf8(service_->status_text());
    device_ = open_device();
    ASSERT_TRUE(device_) << "opening \\\\.\\VostUsb failed with " << os::GetLastError();
    event_.reset(os::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event_);
  }
  void TearDown() override {
    if (device_) control(device_.get(), kUserTestOff);
  }

  void user_test_on(std::int64_t timeout = kGuardTimeout, bool default_accepted = true) {
    const Reply reply = control(device_.get(), kUserTestOn, start_record(event_.get(), timeout, default_accepted));
    ASSERT_TRUE(reply.ok) << "user test on failed with " << reply.error;
  }

  bool notified(DWORD timeout_ms = 5000) { return os::WaitForSingleObject(event_.get(), timeout_ms) == WAIT_OBJECT_0; }

  // One wake-up of the notification thread: reset, peek, fetch, answer with `refuse(text)`.
  template <class Decide>
  Request handle_one(Decide refuse) {
    os::ResetEvent(event_.get());
    const Reply peeked = control(device_.get(), kPeek, {}, kHeaderSize);
    EXPECT_TRUE(peeked.ok) << peeked.error;
    EXPECT_EQ(peeked.out.size(), kHeaderSize);
    const Header header = parse_header(peeked.out);
    if (header.nothing_pending) return Request{};
    const Reply fetched = control(device_.get(), kFetch, fetch_record(header.id, header.size), header.size);
    EXPECT_TRUE(fetched.ok) << fetched.error;
    const Request request = parse_request(fetched.out);
    if (request.is_void) return request;
    EXPECT_EQ(fetched.out.size(), header.size);
    const Reply answered = control(device_.get(), kAnswer, answer_record(header.id, refuse(request.text)));
    EXPECT_TRUE(answered.ok) << answered.error;
    return request;
  }

  static std::unique_ptr<TestDriverService> service_;
  static std::uint32_t start_error_;
  os::unique_hfile device_;
  os::unique_handle event_;
};

std::unique_ptr<TestDriverService> TestDriver::service_;
std::uint32_t TestDriver::start_error_ = 0;

TEST_F(TestDriver, RequestsReachTheCallerThroughItsEventAndItsAnswersReachTheDriver) {
  user_test_on();
  const std::u16string accepted = u"{\"DeviceDescriptor\":{\"Product\":\"Pendrive Łódź\"}}";
  const std::u16string refused = u"{\"DeviceDescriptor\":{\"Product\":\"Klawiatura\"}}";
  // The guard holds two handles on the device (its manager's and its tester's): here the hub's
  // requests come through a second one.
  const os::unique_hfile hub = open_device();
  ASSERT_TRUE(hub) << "a second handle on the device: " << os::GetLastError();
  const Queued first = queue_request(hub.get(), accepted);
  const Queued second = queue_request(hub.get(), refused);
  ASSERT_TRUE(first.reply.ok && second.reply.ok) << first.reply.error << " " << second.reply.error;
  ASSERT_NE(first.id, second.id);

  std::vector<std::u16string> seen;
  for (int wake_up = 0; wake_up < 2; ++wake_up) {
    ASSERT_TRUE(notified()) << "the driver did not set the caller's event";
    seen.push_back(handle_one([&](const std::u16string& text) { return text == refused; }).text);
  }
  EXPECT_EQ(seen, (std::vector<std::u16string>{accepted, refused}));

  const DriverState state = read_state(device_.get());
  EXPECT_EQ(state.pending, 0u);
  ASSERT_GE(state.answers.size(), 2u);
  const std::vector<DriverState::Answer> last(state.answers.end() - 2, state.answers.end());
  EXPECT_EQ(last, (std::vector<DriverState::Answer>{{first.id, false}, {second.id, true}}));
  EXPECT_FALSE(notified(0)) << "nothing pending, yet the event was set again";
}

TEST_F(TestDriver, KeepsWhatTheStartRecordAndTheOptionCodesSet) {
  user_test_on(kGuardTimeout, true);
  DriverState state = read_state(device_.get());
  EXPECT_TRUE(state.user_test_on);
  EXPECT_EQ(state.answer_timeout, kGuardTimeout);
  EXPECT_FALSE(state.timeout_flag);
  EXPECT_TRUE(state.default_accepted);

  user_test_on(0, false);
  state = read_state(device_.get());
  EXPECT_EQ(state.answer_timeout, 0);
  EXPECT_TRUE(state.timeout_flag);
  EXPECT_FALSE(state.default_accepted);

  const std::uint32_t mode = 0x01020304;
  Bytes option(4);
  std::memcpy(option.data(), &mode, 4);
  ASSERT_TRUE(control(device_.get(), kMainOption4, option).ok);
  ASSERT_TRUE(control(device_.get(), kHubsAcceptOn).ok);
  const DriverState before = read_state(device_.get());
  EXPECT_EQ(before.main_option_4, mode);
  EXPECT_TRUE(before.hubs_accepted);

  for (DWORD code : {kClearAcceptedNames, kClearAcceptedTypes, kClearAcceptedTypes, kNotifySenderStop,
                     kHubsAcceptOff, kUserTestOff})
    ASSERT_TRUE(control(device_.get(), code).ok) << std::hex << code;
  state = read_state(device_.get());
  EXPECT_EQ(state.names_cleared, before.names_cleared + 1);
  EXPECT_EQ(state.types_cleared, before.types_cleared + 2);
  EXPECT_EQ(state.sender_stops, before.sender_stops + 1);
  EXPECT_FALSE(state.hubs_accepted);
  EXPECT_FALSE(state.user_test_on);
}

// Malformed calls fail the way a driver fails them, and change nothing.
TEST_F(TestDriver, RefusesRecordsOfTheWrongSize) {
  user_test_on();
  const Queued queued = queue_request(device_.get(), u"{}");
  ASSERT_TRUE(queued.reply.ok);
  const DWORD request_size = 14 + 3 * 2;
  struct Case {
    const char* what;
    DWORD code;
    Bytes in;
    DWORD out_size;
    DWORD error;
  };
  const Case cases[] = {
      {"start record one byte short", kUserTestOn, Bytes(17), 0, ERROR_INVALID_PARAMETER},
      {"start record one byte long", kUserTestOn, Bytes(19), 0, ERROR_INVALID_PARAMETER},
      {"header buffer one byte short", kPeek, {}, kHeaderSize - 1, ERROR_INSUFFICIENT_BUFFER},
      {"fetch without the identifier", kFetch, Bytes(11), request_size, ERROR_INVALID_PARAMETER},
      {"fetch into a buffer one byte short", kFetch, fetch_record(queued.id, request_size - 1), request_size - 1,
       ERROR_INSUFFICIENT_BUFFER},
      {"answer one byte short", kAnswer, Bytes(8), 0, ERROR_INVALID_PARAMETER},
      {"answer one byte long", kAnswer, Bytes(10), 0, ERROR_INVALID_PARAMETER},
      {"option without its value", kMainOption4, Bytes(3), 0, ERROR_INVALID_PARAMETER},
      {"a code the driver does not know", 0x222078, {}, 0, ERROR_INVALID_FUNCTION},
  };
  for (const Case& c : cases) {
    const Reply reply = control(device_.get(), c.code, c.in, c.out_size);
    EXPECT_FALSE(reply.ok) << c.what;
    EXPECT_EQ(reply.error, c.error) << c.what;
  }
  const DriverState state = read_state(device_.get());
  EXPECT_TRUE(state.user_test_on);
  EXPECT_EQ(state.pending, 1u);
  EXPECT_EQ(state.answer_timeout, kGuardTimeout);
}

TEST_F(TestDriver, PeekReportsNothingPendingWithoutSettingTheEvent) {
  user_test_on();
  const Reply peeked = control(device_.get(), kPeek, {}, kHeaderSize);
  ASSERT_TRUE(peeked.ok);
  EXPECT_TRUE(parse_header(peeked.out).nothing_pending);
  EXPECT_FALSE(notified(0));
}

TEST_F(TestDriver, AVoidRequestIsFetchedOnceAndNeedsNoAnswer) {
  user_test_on();
  const Queued gone = queue_request(device_.get(), u"odłączone", true);
  const Queued next = queue_request(device_.get(), u"następne");
  ASSERT_TRUE(gone.reply.ok && next.reply.ok);
  ASSERT_TRUE(notified());
  const auto refuse = [](const std::u16string&) { return true; };
  EXPECT_TRUE(handle_one(refuse).is_void);
  // The caller does not answer a void request; the driver tells it about the next one.
  ASSERT_TRUE(notified()) << "the request after a void one was not announced";
  EXPECT_EQ(handle_one(refuse).text, u"następne");
  const DriverState state = read_state(device_.get());
  EXPECT_EQ(state.pending, 0u);
  ASSERT_FALSE(state.answers.empty());
  EXPECT_EQ(state.answers.back(), (DriverState::Answer{next.id, true}));
}

TEST_F(TestDriver, AnAnswerToARequestNoLongerPendingIsRefused) {
  user_test_on();
  const Queued queued = queue_request(device_.get(), u"{}");
  ASSERT_TRUE(queued.reply.ok);
  ASSERT_TRUE(control(device_.get(), kAnswer, answer_record(queued.id, false)).ok);
  const Reply again = control(device_.get(), kAnswer, answer_record(queued.id, true));
  EXPECT_FALSE(again.ok);
  EXPECT_EQ(again.error, static_cast<DWORD>(ERROR_NOT_FOUND));
  // Fetching it now gives a void request, not the old text.
  const Reply fetched = control(device_.get(), kFetch, fetch_record(queued.id, 64), 64);
  ASSERT_TRUE(fetched.ok);
  EXPECT_TRUE(parse_request(fetched.out).is_void);
  const DriverState state = read_state(device_.get());
  ASSERT_FALSE(state.answers.empty());
  EXPECT_EQ(state.answers.back(), (DriverState::Answer{queued.id, false}));
}

TEST_F(TestDriver, UserTestOffDropsPendingRequestsAndNoRequestsComeWhileOff) {
  user_test_on();
  ASSERT_TRUE(queue_request(device_.get(), u"{}").reply.ok);
  ASSERT_TRUE(control(device_.get(), kUserTestOff).ok);
  EXPECT_EQ(read_state(device_.get()).pending, 0u);
  const Queued queued = queue_request(device_.get(), u"{}");
  EXPECT_FALSE(queued.reply.ok);
  EXPECT_EQ(queued.reply.error, static_cast<DWORD>(ERROR_NOT_READY));
}

// A request left unanswered for the time-out is decided by the driver with the default, and a late
// answer is refused; a time-out of 0 means none.
TEST_F(TestDriver, DecidesARequestItselfWhenTheAnswerTimeOutPasses) {
  constexpr std::int64_t kTenMilliseconds = 100000;
  for (const bool default_accepted : {true, false}) {
    user_test_on(kTenMilliseconds, default_accepted);
    const Queued queued = queue_request(device_.get(), u"{}");
    ASSERT_TRUE(queued.reply.ok);
    os::Sleep(100);
    const Reply late = control(device_.get(), kAnswer, answer_record(queued.id, default_accepted));
    EXPECT_EQ(late.error, static_cast<DWORD>(ERROR_NOT_FOUND)) << default_accepted;
    const DriverState state = read_state(device_.get());
    EXPECT_EQ(state.pending, 0u);
    ASSERT_FALSE(state.answers.empty());
    EXPECT_EQ(state.answers.back(), (DriverState::Answer{queued.id, !default_accepted, true}));
  }

  user_test_on(0, true);
  ASSERT_TRUE(queue_request(device_.get(), u"{}").reply.ok);
  os::Sleep(100);
  EXPECT_EQ(read_state(device_.get()).pending, 1u);
}

// The handle in the start record must name an event of the caller.
TEST_F(TestDriver, UserTestOnFailsForAHandleThatIsNoEvent) {
  const os::unique_handle mutex(os::CreateMutexW(nullptr, FALSE, nullptr));
  ASSERT_TRUE(mutex);
  const HANDLE not_events[] = {mutex.get(), reinterpret_cast<HANDLE>(0x7FF0)};
  for (HANDLE handle : not_events) {
    const Reply reply = control(device_.get(), kUserTestOn, start_record(handle, kGuardTimeout, true));
    EXPECT_FALSE(reply.ok) << handle;
    EXPECT_FALSE(read_state(device_.get()).user_test_on) << handle;
  }
}

// Switching the user test on again moves the notifications to the new event.
TEST_F(TestDriver, ASecondUserTestOnReplacesTheEvent) {
  user_test_on();
  const os::unique_handle second(os::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(control(device_.get(), kUserTestOn, start_record(second.get(), kGuardTimeout, true)).ok);
  ASSERT_TRUE(queue_request(device_.get(), u"{}").reply.ok);
  EXPECT_EQ(os::WaitForSingleObject(second.get(), 5000), WAIT_OBJECT_0);
  EXPECT_FALSE(notified(0));
}

// The service's life: stopping unloads the driver (its device goes), the service can start it
// again, and it is deleted at the end, running or not.
TEST(DriverService, StopUnloadsTheDriverAndStartLoadsItAgain) {
  {
    TestDriverService service(testing_support::test_driver_image());
    for (int round = 0; round < 2; ++round) {
      ASSERT_EQ(round == 0 ? service.install_and_start() : service.start(), 0u) << text::to_utf8(service.status_text());
      EXPECT_TRUE(open_device()) << "round " << round << ": " << os::GetLastError();
      ASSERT_EQ(service.stop(), 0u) << text::to_utf8(service.status_text());
      EXPECT_FALSE(open_device());
      EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
    ASSERT_EQ(service.start(), 0u) << text::to_utf8(service.status_text());
    EXPECT_TRUE(testing_support::driver_service_installed());
  }
  EXPECT_FALSE(testing_support::driver_service_installed());
  EXPECT_FALSE(open_device()) << "the driver is still loaded after its service went";
}

}  // namespace
