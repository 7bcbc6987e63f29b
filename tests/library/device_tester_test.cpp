// The user test's worker against a driver of the test's own: its start and stop with their codes,
// the start record it sends, and what it does with each kind of request (well-formed, void, cut
// short, without its NUL, not valid UTF-16, failing), including what the facade makes of it.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "fake_driver.h"
#include "library/device_tester.h"
#include "library/driver_interface.h"
#include "library/manager.h"
#include "support/sim_root.h"
#include "text/utf.h"

using namespace VostUsbWardenManager;
using library_testing::FakeDriver;
using library_testing::Fetched;
using library_testing::Header;
using library_testing::kFakeDevice;

namespace {

// The test callback's side: the texts it saw and the verdict it gives.
struct Callback {
  std::mutex lock;
  std::vector<std::u16string> texts;
  bool verdict = true;

  static bool Test(const char16_t* request, void* context) {
    auto* self = static_cast<Callback*>(context);
    std::lock_guard guard(self->lock);
    self->texts.push_back(request);
    return self->verdict;
  }
  std::vector<std::u16string> Seen() {
    std::lock_guard guard(lock);
    return texts;
  }
};

std::string Bytes(const std::u16string& text) { return text::to_utf16le(text); }

class DeviceTesterTest : public testing_support::FreshHost {
 protected:
  DeviceTester MakeTester(std::int64_t wait = 1200000000, bool default_accepted = true) {
    return DeviceTester(kFakeDevice, Callback::Test, wait, default_accepted, &callback_);
  }

  FakeDriver driver_;
  Callback callback_;
};

TEST_F(DeviceTesterTest, StartSendsTheStartRecordAndStopEndsEverything) {
  struct Case {
    std::int64_t wait;
    bool default_accepted;
    std::uint8_t zero_flag;
  };
  for (const Case& c : {Case{1200000000, true, 0}, Case{0, true, 1}, Case{50000000, false, 0}, Case{0, false, 1}}) {
    FakeDriver driver;
    DeviceTester tester(kFakeDevice, Callback::Test, c.wait, c.default_accepted, &callback_);
    ASSERT_EQ(tester.Start(), 0u);
    EXPECT_EQ(os::GetLastError(), 0u);
    const auto calls = driver.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].code, 0x22205Cu);
    ASSERT_EQ(calls[0].in.size(), 18u);
    std::int64_t wait = 0;
    std::memcpy(&wait, calls[0].in.data() + 8, sizeof wait);
    EXPECT_EQ(wait, c.wait);
    EXPECT_EQ(static_cast<std::uint8_t>(calls[0].in[16]), c.zero_flag) << c.wait;
    EXPECT_EQ(static_cast<std::uint8_t>(calls[0].in[17]), c.default_accepted ? 1 : 0);
    EXPECT_EQ(driver.open_handles(), 1) << "its own handle on the device";

    EXPECT_EQ(tester.Stop(), 0u);
    EXPECT_EQ(driver.calls().back().code, 0x222060u) << "user test off";
    EXPECT_EQ(driver.open_handles(), 0);
    EXPECT_EQ(tester.Stop(), 566u) << "stopped: no thread";
  }
}

TEST_F(DeviceTesterTest, StartAndStopCodes) {
  DeviceTester never_started = MakeTester();
  EXPECT_EQ(never_started.Stop(), 566u);
  EXPECT_TRUE(driver_.calls().empty()) << "a stop without a thread sends nothing";

  DeviceTester tester = MakeTester();
  ASSERT_EQ(tester.Start(), 0u);
  EXPECT_EQ(tester.Start(), 1552u);
  EXPECT_EQ(driver_.open_handles(), 1) << "the second start opened nothing";
  EXPECT_EQ(driver_.calls().size(), 1u);
}

TEST_F(DeviceTesterTest, AFailedStartLeavesNothingBehind) {
  struct Case {
    const char* what;
    DWORD open_error;
    DWORD on_error;
    std::uint32_t result;
  };
  const Case cases[] = {
      {"the device does not open", ERROR_FILE_NOT_FOUND, 0, 2},
      {"the device refuses the caller", ERROR_ACCESS_DENIED, 0, 5},
      {"the driver refuses the user test", 0, 31, 31},
  };
  for (const Case& c : cases) {
    FakeDriver driver;
    driver.open_error = c.open_error;
    if (c.on_error) driver.failures[driver::kUserTestOn] = c.on_error;
    DeviceTester tester(kFakeDevice, Callback::Test, 1200000000, true, &callback_);
    EXPECT_EQ(tester.Start(), c.result) << c.what;
    EXPECT_EQ(driver.open_handles(), 0) << c.what;
    EXPECT_EQ(tester.Stop(), 566u) << c.what << ": no thread";
    driver.open_error = 0;
    driver.failures.clear();
    EXPECT_EQ(tester.Start(), 0u) << c.what << ": starts once the driver lets it";
  }
}

TEST_F(DeviceTesterTest, AStopTheDriverRefusesKeepsTheTestRunning) {
  DeviceTester tester = MakeTester();
  ASSERT_EQ(tester.Start(), 0u);
  driver_.failures[driver::kUserTestOff] = ERROR_DEVICE_NOT_CONNECTED;
  EXPECT_EQ(tester.Stop(), static_cast<std::uint32_t>(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_EQ(driver_.open_handles(), 1);

  const std::u16string text = u"{\"still\":1}";
  driver_.peek_output = Header(3, static_cast<std::uint32_t>(14 + (text.size() + 1) * 2));
  driver_.fetch_output = Fetched(3, Bytes(text) + std::string(2, '\0'));
  driver_.notify();
  EXPECT_TRUE(driver_.wait_for(driver::kAnswerRequest)) << "still answering";
  EXPECT_EQ(tester.Start(), 1552u);
  // Leaving the scope with the stop still refused ends the worker all the same (no hang, no use
  // of a freed tester).
}

// One request, from the notification to the answer (or to where the worker leaves it).
struct RequestCase {
  const char* what;
  std::string header;
  std::string fetched;
  std::size_t fetch_returned;
  std::map<DWORD, DWORD> failures;
  std::vector<DWORD> codes;         // what the worker asks, in order
  std::vector<std::u16string> seen; // what the callback gets
};

TEST_F(DeviceTesterTest, EachKindOfRequest) {
  const std::u16string text = u"{\"DeviceDescriptor\":{\"Product\":\"Pendrive\"}}";
  const std::uint32_t size = static_cast<std::uint32_t>(14 + (text.size() + 1) * 2);
  const std::string whole = Bytes(text) + std::string(2, '\0');
  constexpr DWORD peek = driver::kPeekRequest, fetch = driver::kFetchRequest, answer = driver::kAnswerRequest;
  const std::u16string lone = std::u16string(u"a") + char16_t(0xD800) + u"b" + char16_t(0xDC01);
  const std::u16string pair = std::u16string(u"x") + char16_t(0xD83D) + char16_t(0xDE00);
  const RequestCase cases[] = {
      {"a request", Header(9, size), Fetched(9, whole), SIZE_MAX, {}, {peek, fetch, answer}, {text}},
      {"nothing pending", Header(9, size, 1), Fetched(9, whole), SIZE_MAX, {}, {peek}, {}},
      {"the peek fails", Header(9, size), Fetched(9, whole), SIZE_MAX, {{peek, 31}}, {peek}, {}},
      {"a void request", Header(9, size), Fetched(9, whole, 1), SIZE_MAX, {}, {peek, fetch}, {}},
      {"the fetch fails", Header(9, size), Fetched(9, whole), SIZE_MAX, {{fetch, 1167}}, {peek, fetch}, {}},
      // Requests that cannot be fetched get the default verdict at once (accepted here).
      {"a size below the prefix", Header(9, 13), Fetched(9, whole), SIZE_MAX, {}, {peek, answer}, {}},
      {"a size of the prefix alone", Header(9, 14), Fetched(9, ""), SIZE_MAX, {}, {peek, fetch, answer}, {u""}},
      {"a size of 15: half a character", Header(9, 15), Fetched(9, "A"), SIZE_MAX, {}, {peek, fetch, answer}, {u""}},
      {"no terminating NUL", Header(9, size - 2), Fetched(9, Bytes(text)), SIZE_MAX, {}, {peek, fetch, answer}, {text}},
      {"less returned than the header said", Header(9, size), Fetched(9, whole), 14 + 2 * 5, {}, {peek, fetch, answer},
       {text.substr(0, 5)}},
      {"a return too short for the void flag", Header(9, size), Fetched(9, whole), 12, {}, {peek, fetch}, {}},
      {"text after an inner NUL", Header(9, size), Fetched(9, Bytes(u"ab") + std::string(2, '\0') + Bytes(u"cd")), SIZE_MAX,
       {}, {peek, fetch, answer}, {u"ab"}},
      {"unpaired surrogates", Header(9, 64), Fetched(9, Bytes(lone) + std::string(2, '\0')), SIZE_MAX, {},
       {peek, fetch, answer}, {u"a\uFFFDb\uFFFD"}},
      {"a pair stays", Header(9, 64), Fetched(9, Bytes(pair) + std::string(2, '\0')), SIZE_MAX, {},
       {peek, fetch, answer}, {pair}},
      {"a size beyond the limit", Header(9, kMostRequestBytes + 1), Fetched(9, whole), SIZE_MAX, {}, {peek, answer}, {}},
      {"a short header", Header(9, size).substr(0, 13), Fetched(9, whole), SIZE_MAX, {}, {peek}, {}},
  };
  for (const RequestCase& c : cases) {
    FakeDriver driver;
    Callback callback;
    driver.peek_output = c.header;
    driver.fetch_output = c.fetched;
    driver.fetch_returned = c.fetch_returned;
    driver.failures = c.failures;
    DeviceTester tester(kFakeDevice, Callback::Test, 1200000000, true, &callback);
    ASSERT_EQ(tester.Start(), 0u) << c.what;
    driver.notify();
    ASSERT_TRUE(driver.wait_for(peek)) << c.what;
    ASSERT_EQ(tester.Stop(), 0u) << c.what;  // the worker finishes the request it is on first
    EXPECT_EQ(driver.codes(), c.codes) << c.what;
    EXPECT_EQ(callback.Seen(), c.seen) << c.what;
    for (const auto& call : driver.calls()) {
      if (call.code == answer && c.seen.empty()) {
        // Not tested: the default verdict (accepted, byte 0) on the header's identifier.
        EXPECT_EQ(call.in, c.header.substr(0, 8) + std::string(1, '\0')) << c.what;
      }
      if (call.code == fetch) {
        // The fetch sends zeros with the header's identifier at 4, in a buffer of the header's size.
        std::uint32_t header_size = 0;
        std::memcpy(&header_size, c.header.data() + 8, sizeof header_size);
        ASSERT_EQ(call.in.size(), header_size) << c.what;
        EXPECT_EQ(call.in.substr(0, 4), std::string(4, '\0')) << c.what;
        EXPECT_EQ(call.in.substr(4, 8), c.header.substr(0, 8)) << c.what;
        EXPECT_EQ(call.in.substr(12), std::string(call.in.size() - 12, '\0')) << c.what;
      }
    }
  }
}

TEST_F(DeviceTesterTest, TheAnswerCarriesTheIdentifierAndTheVerdict) {
  for (const bool verdict : {true, false}) {
    FakeDriver driver;
    Callback callback;
    callback.verdict = verdict;
    driver.peek_output = Header(0x1122334455667788ull, 20);
    driver.fetch_output = Fetched(0x1122334455667788ull, Bytes(u"{}") + std::string(2, '\0'));
    DeviceTester tester(kFakeDevice, Callback::Test, 1200000000, true, &callback);
    ASSERT_EQ(tester.Start(), 0u);
    driver.notify();
    ASSERT_TRUE(driver.wait_for(driver::kAnswerRequest));
    const auto calls = driver.calls();
    const std::string& answer = calls.back().in;
    ASSERT_EQ(answer.size(), 9u);
    EXPECT_EQ(answer.substr(0, 8), Header(0x1122334455667788ull, 0).substr(0, 8));
    EXPECT_EQ(static_cast<std::uint8_t>(answer[8]), verdict ? 0 : 1) << "0 accepts, 1 refuses";
  }
}

// A request that cannot be fetched is given the default verdict the test was started with, so the
// driver's queue does not stand still behind it until its time-out.
TEST_F(DeviceTesterTest, AnUnfetchableRequestGetsTheDefaultVerdict) {
  for (const bool default_accepted : {true, false}) {
    FakeDriver driver;
    Callback callback;
    driver.peek_output = Header(0x0102030405060708ull, 12);
    DeviceTester tester(kFakeDevice, Callback::Test, 1200000000, default_accepted, &callback);
    ASSERT_EQ(tester.Start(), 0u);
    driver.notify();
    ASSERT_TRUE(driver.wait_for(driver::kAnswerRequest));
    const std::string answer = driver.calls().back().in;
    EXPECT_EQ(answer, Header(0x0102030405060708ull, 0).substr(0, 8) + std::string(1, default_accepted ? '\0' : '\1'));
    EXPECT_TRUE(callback.Seen().empty());
  }
}

TEST_F(DeviceTesterTest, OneRequestPerWakeUp) {
  DeviceTester tester = MakeTester();
  driver_.peek_output = Header(1, 20);
  driver_.fetch_output = Fetched(1, Bytes(u"{}") + std::string(2, '\0'));
  ASSERT_EQ(tester.Start(), 0u);
  for (std::size_t n = 1; n <= 3; ++n) {
    driver_.notify();
    ASSERT_TRUE(driver_.wait_for(driver::kAnswerRequest, n));
  }
  ASSERT_EQ(tester.Stop(), 0u);
  EXPECT_EQ(callback_.Seen().size(), 3u);
  EXPECT_EQ(driver_.codes().size(), 9u) << "peek, fetch and answer once per notification";
}

// --- The facade ---

class UserTestFacade : public DeviceTesterTest {
 protected:
  Manager manager_{u"VostUsbFake", u"VostUsbFake", kFakeDevice};
  std::u16string status_;
};

TEST_F(UserTestFacade, OnAndOff) {
  EXPECT_EQ(manager_.UserTest_on(nullptr, 1200000000, nullptr, true, status_), 87u);
  EXPECT_EQ(text::to_utf8(status_), "Callback function is NULL");
  EXPECT_TRUE(driver_.calls().empty());

  ASSERT_EQ(manager_.UserTest_on(Callback::Test, 1200000000, &callback_, true, status_), 0u);
  EXPECT_EQ(manager_.UserTest_on(Callback::Test, 0, &callback_, false, status_), 1u);
  EXPECT_EQ(text::to_utf8(status_), "User Test already started");
  EXPECT_EQ(driver_.calls().size(), 1u) << "the first test runs on alone";

  driver_.peek_output = Header(4, 20);
  driver_.fetch_output = Fetched(4, Bytes(u"{}") + std::string(2, '\0'));
  driver_.notify();
  ASSERT_TRUE(driver_.wait_for(driver::kAnswerRequest));
  EXPECT_EQ(callback_.Seen(), std::vector<std::u16string>{u"{}"}) << "the context reaches the callback";

  EXPECT_EQ(manager_.UserTest_off(status_), 0u);
  EXPECT_EQ(driver_.open_handles(), 0) << "the tester's handle is closed";
  EXPECT_FALSE(manager_.IsAttached());
  EXPECT_EQ(manager_.UserTest_off(status_), 0u) << "without a tester: the driver's code on the facade's handle";
  EXPECT_EQ(driver_.calls().back().code, 0x222060u);
  EXPECT_TRUE(manager_.IsAttached());
}

TEST_F(UserTestFacade, FailuresOfTheStart) {
  driver_.open_error = ERROR_FILE_NOT_FOUND;
  EXPECT_EQ(manager_.UserTest_on(Callback::Test, 1200000000, nullptr, true, status_), 2u);
  EXPECT_EQ(text::to_utf8(status_), "Operation fail; err=0x00000002");
  driver_.open_error = 0;
  driver_.failures[driver::kUserTestOn] = 31;
  EXPECT_EQ(manager_.UserTest_on(Callback::Test, 1200000000, nullptr, true, status_), 31u);
  EXPECT_EQ(text::to_utf8(status_), "Operation fail; err=0x0000001F");
  EXPECT_EQ(driver_.open_handles(), 0);
  driver_.failures.clear();
  EXPECT_EQ(manager_.UserTest_on(Callback::Test, 1200000000, nullptr, true, status_), 0u) << "no tester was kept";
}

TEST_F(UserTestFacade, AFailedStopKeepsTheTesterAndTheDestructorEndsIt) {
  ASSERT_EQ(manager_.UserTest_on(Callback::Test, 1200000000, &callback_, true, status_), 0u);
  driver_.failures[driver::kUserTestOff] = ERROR_DEVICE_NOT_CONNECTED;
  EXPECT_EQ(manager_.UserTest_off(status_), static_cast<std::uint32_t>(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_EQ(text::to_utf8(status_), "Operation fail; err=0x0000048F");
  EXPECT_EQ(manager_.UserTest_on(Callback::Test, 1200000000, &callback_, true, status_), 1u) << "still on";
  driver_.failures.clear();
  EXPECT_EQ(manager_.UserTest_off(status_), 0u);
}

}  // namespace
