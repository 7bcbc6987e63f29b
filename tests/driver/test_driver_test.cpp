// The test driver under the real service control manager and I/O manager (Wine on Linux): the
// driver interface's whole exchange, as the guard's notification thread drives it, and the
// failures a driver gives for malformed calls.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "driver/driver_link.h"
#include "driver/driver_service.h"
#include "platform/handle.h"
#include "platform/os.h"

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
    ASSERT_EQ(start_error_, 0ul) << service_->failed_call() << " failed";
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
    EXPECT_EQ(fetched.out.size(), header.size);
    const Request request = parse_request(fetched.out);
    if (request.is_void) return request;
    const Reply answered = control(device_.get(), kAnswer, answer_record(header.id, refuse(request.text)));
    EXPECT_TRUE(answered.ok) << answered.error;
    return request;
  }

  static std::unique_ptr<TestDriverService> service_;
  static unsigned long start_error_;
  os::unique_hfile device_;
  os::unique_handle event_;
};

std::unique_ptr<TestDriverService> TestDriver::service_;
unsigned long TestDriver::start_error_ = 0;

TEST_F(TestDriver, RequestsReachTheCallerThroughItsEventAndItsAnswersReachTheDriver) {
  user_test_on();
  const std::u16string accepted = u"{\"DeviceDescriptor\":{\"Product\":\"Pendrive Łódź\"}}";
  const std::u16string refused = u"{\"DeviceDescriptor\":{\"Product\":\"Klawiatura\"}}";
  const Queued first = queue_request(device_.get(), accepted);
  const Queued second = queue_request(device_.get(), refused);
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

}  // namespace
