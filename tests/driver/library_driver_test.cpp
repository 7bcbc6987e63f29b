// The driver control library against a real kernel driver: the test driver, installed and started
// as "VostUsb" by the library's own calls through Wine's service manager, with the test playing
// the USB hub behind it. The calls come in the order the guard makes them at bring-up and
// tear-down, and every result, status text and callback is checked, together with what the driver
// was told.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "driver/driver_link.h"
#include "driver/driver_service.h"
#include "driver/test_driver_codes.h"
#include "library/library_fixture.h"
#include "platform/handle.h"
#include "text/utf.h"

using namespace VostUsbWardenManager;
namespace hub_link = testing_support::driver;
using library_testing::Calls;

namespace {

constexpr std::int64_t kGuardTimeout = 1200000000;  // 120 s, what the guard gives the driver

std::string Utf8(const std::u16string& s) { return text::to_utf8(s); }

// A start or stop wait calls back the pending states it saw, then the final state once.
void ExpectPendingThen(const Calls& calls, std::uint32_t pending, std::uint32_t final_state) {
  ASSERT_FALSE(calls.values.empty());
  EXPECT_EQ(calls.values.back(), final_state);
  for (std::size_t i = 0; i + 1 < calls.values.size(); ++i) EXPECT_EQ(calls.values[i], pending) << i;
}

// The device test function: refuses a device whose text names a keyboard, accepts any other, and
// keeps every text it was given. It runs on the library's notification thread.
class Verdicts {
 public:
  static bool Test(const char16_t* request, void* context) {
    auto* self = static_cast<Verdicts*>(context);
    const std::u16string text(request);
    const std::lock_guard<std::mutex> hold(self->lock_);
    self->seen_.push_back(text);
    return text.find(u"Klawiatura") == std::u16string::npos;
  }
  std::vector<std::u16string> seen() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return seen_;
  }

 private:
  mutable std::mutex lock_;
  std::vector<std::u16string> seen_;
};

bool NoDevice(const char16_t*, void*) { return false; }

class LibraryOnTestDriver : public library_testing::LibraryHost {
 protected:
  void SetUp() override {
    LibraryHost::SetUp();
    testing_support::remove_driver_service();
  }
  void TearDown() override {
    // The facade lets go of the device before the driver unloads, also when a test stopped early.
    std::u16string ignored;
    manager_.UserTest_off(ignored);
    manager_.Detach();
    testing_support::remove_driver_service();
    LibraryHost::TearDown();
  }

  std::uint32_t Install(Calls& calls) {
    status_.clear();
    return manager_.Install(10, image_.c_str(), config_path_.c_str(), admittances_path_.c_str(), SERVICE_DEMAND_START,
                            nullptr, nullptr, nullptr, status_, true, &calls, Calls::Record);
  }

  const std::u16string image_ = testing_support::test_driver_image();
  Manager manager_{u"VostUsb", u"VostUsb", u"\\\\.\\VostUsb"};
};

TEST_F(LibraryOnTestDriver, TheGuardsSequenceWithRequestsDecidedByTheTestFunction) {
  // --- Bring-up ---
  Calls installing;
  ASSERT_EQ(Install(installing), 0u) << Utf8(status_);
  EXPECT_EQ(Utf8(status_), "");
  for (std::uint32_t value : installing.values) EXPECT_NE(value, 0u) << "only failed opens are called back";
  EXPECT_TRUE(testing_support::driver_service_installed());
  std::u16string recorded;
  ASSERT_EQ(manager_.GetConfigFile(recorded, status_), 0u) << Utf8(status_);
  EXPECT_EQ(recorded, config_path_);

  Calls again;
  EXPECT_EQ(Install(again), 1073u);
  EXPECT_EQ(Utf8(status_), "Serwis o tej nazwie już istnieje");

  Calls starting;
  status_.clear();
  ASSERT_EQ(manager_.Start(10, status_, &starting, Calls::Record), 0u) << Utf8(status_);
  EXPECT_EQ(Utf8(status_), "");
  ExpectPendingThen(starting, SERVICE_START_PENDING, SERVICE_RUNNING);
  Calls running;
  EXPECT_EQ(manager_.Start(10, status_, &running, Calls::Record), 1056u);
  EXPECT_EQ(Utf8(status_), "Serwis jest juz wystartowany");
  EXPECT_TRUE(running.values.empty());

  status_.clear();
  ASSERT_TRUE(manager_.Attach(status_)) << Utf8(status_);
  EXPECT_EQ(Utf8(status_), "");
  // The hub's side: requests come through a handle of the test's own.
  os::unique_hfile hub = hub_link::open_device();
  ASSERT_TRUE(hub) << "a second handle on the device: " << os::GetLastError();

  ASSERT_EQ(manager_.SetHubsAccept(true, ConfigDriverAndFile, status_), 0u) << Utf8(status_);
  EXPECT_EQ(Utf8(status_), "");
  EXPECT_TRUE(hub_link::read_state(hub.get()).hubs_accepted);
  EXPECT_EQ(ConfigText(),
            R"({"capture":true,"filesAndCacheMode":1,"filter":true,"hubs_always_accepted":true,"notify_handle":true})");

  EXPECT_EQ(manager_.UserTest_on(nullptr, kGuardTimeout, nullptr, true, status_), 87u);
  EXPECT_EQ(Utf8(status_), "Callback function is NULL");
  Verdicts verdicts;
  status_.clear();
  ASSERT_EQ(manager_.UserTest_on(Verdicts::Test, kGuardTimeout, &verdicts, true, status_), 0u) << Utf8(status_);
  EXPECT_EQ(Utf8(status_), "");
  const hub_link::DriverState on = hub_link::read_state(hub.get());
  EXPECT_TRUE(on.user_test_on);
  EXPECT_EQ(on.answer_timeout, kGuardTimeout);
  EXPECT_FALSE(on.timeout_flag);
  EXPECT_TRUE(on.default_accepted);
  EXPECT_EQ(manager_.UserTest_on(NoDevice, kGuardTimeout, nullptr, true, status_), 1u);
  EXPECT_EQ(Utf8(status_), "User Test already started");
  status_.clear();

  // --- Devices ---
  struct Device {
    std::u16string text;
    bool refused;
  };
  const Device devices[] = {
      {u"{\"DeviceDescriptor\":{\"Manufacturer\":\"Zakład Łódź\",\"Product\":\"Pendrive\"}}", false},
      {u"{\"DeviceDescriptor\":{\"Product\":\"Klawiatura\"},\"DeviceProperty\":{\"ClassName\":\"Keyboard\"}}", true},
      {u"", false},                                                          // no description at all
      {u"{\"DeviceDescriptor\":{\"Product\":\"\U0001F5B1 mysz\"}}", false},  // a pair of surrogates
      {std::u16string(VOSTUSB_TEST_TEXT_MAX, u'ż'), false},                  // the longest text the driver queues
  };
  const std::size_t answered_before = on.answers.size();
  std::vector<hub_link::DriverState::Answer> expected;
  for (const Device& device : devices) {
    // A device that went again before it was looked at: its void request is fetched, not answered.
    ASSERT_TRUE(hub_link::queue_request(hub.get(), u"odłączone", true).reply.ok);
    const hub_link::Queued queued = hub_link::queue_request(hub.get(), device.text);
    ASSERT_TRUE(queued.reply.ok) << queued.reply.error;
    expected.push_back({queued.id, device.refused});
  }
  const hub_link::DriverState decided = hub_link::wait_for_answers(hub.get(), answered_before + expected.size());
  EXPECT_EQ(decided.pending, 0u);
  ASSERT_EQ(decided.answers.size(), answered_before + expected.size());
  EXPECT_EQ(
      std::vector<hub_link::DriverState::Answer>(decided.answers.begin() + answered_before, decided.answers.end()),
      expected);
  std::vector<std::u16string> texts;
  for (const Device& device : devices) texts.push_back(device.text);
  EXPECT_EQ(verdicts.seen(), texts) << "each device text once, in order, and no void request";

  // --- Tear-down ---
  ASSERT_EQ(manager_.UserTest_off(status_), 0u) << Utf8(status_);
  EXPECT_EQ(Utf8(status_), "");
  const hub_link::DriverState off = hub_link::read_state(hub.get());
  EXPECT_FALSE(off.user_test_on);
  const hub_link::Queued unasked = hub_link::queue_request(hub.get(), u"{}");
  EXPECT_EQ(unasked.reply.error, static_cast<DWORD>(ERROR_NOT_READY)) << "no requests while the test is off";
  EXPECT_EQ(verdicts.seen().size(), texts.size());

  // Without a tester (a user test left on by an earlier run), the facade's own handle carries
  // the user-test-off code.
  const os::unique_handle event(os::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(
      hub_link::control(hub.get(), hub_link::kUserTestOn, hub_link::start_record(event.get(), kGuardTimeout, true)).ok);
  ASSERT_TRUE(hub_link::read_state(hub.get()).user_test_on);
  ASSERT_EQ(manager_.UserTest_off(status_), 0u) << Utf8(status_);
  EXPECT_EQ(Utf8(status_), "");
  EXPECT_FALSE(hub_link::read_state(hub.get()).user_test_on);

  ASSERT_EQ(manager_.ClearAcceptedNameList(status_), 0u) << Utf8(status_);
  ASSERT_EQ(manager_.ClearAcceptedTypeList(status_), 0u) << Utf8(status_);
  EXPECT_EQ(Utf8(status_), "");
  const hub_link::DriverState cleared = hub_link::read_state(hub.get());
  EXPECT_EQ(cleared.names_cleared, off.names_cleared + 1);
  EXPECT_EQ(cleared.types_cleared, off.types_cleared + 1);

  // Nothing but the facade holds the device when the service stops; Stop closes that handle.
  hub.reset();
  Calls stopping;
  ASSERT_EQ(manager_.Stop(10, status_, &stopping, Calls::Record), 0u) << Utf8(status_);
  EXPECT_EQ(Utf8(status_), "");
  ExpectPendingThen(stopping, SERVICE_STOP_PENDING, SERVICE_STOPPED);
  EXPECT_FALSE(manager_.IsAttached()) << "Stop closes the device first";
  EXPECT_FALSE(hub_link::open_device()) << "the driver is still loaded";
  Calls stopped;
  EXPECT_EQ(manager_.Stop(10, status_, &stopped, Calls::Record), 0u) << "a stopped service is no error";
  EXPECT_EQ(Utf8(status_), "Serwis nie jest wystartowany");
  EXPECT_EQ(manager_.ServiceLastError(), 1062u);
  EXPECT_TRUE(stopped.values.empty());
  status_.clear();
  EXPECT_FALSE(manager_.Attach(status_));
  EXPECT_EQ(Utf8(status_), "Driver not open; err=0x00000002");

  Calls uninstalling;
  status_.clear();
  ASSERT_EQ(manager_.Uninstall(50, status_, &uninstalling, Calls::Record), 0u) << Utf8(status_);
  EXPECT_EQ(Utf8(status_), "");
  for (std::uint32_t value : uninstalling.values) EXPECT_EQ(value, 0u);
  EXPECT_FALSE(testing_support::driver_service_installed());
  EXPECT_EQ(manager_.Uninstall(50, status_, nullptr, nullptr), 1060u);
  EXPECT_EQ(Utf8(status_), "Serwis nie jest zainstalowany");
  EXPECT_EQ(manager_.Start(10, status_, nullptr, nullptr), 1060u);
  EXPECT_EQ(Utf8(status_), "Serwis nie jest zainstalowany");
}

}  // namespace
