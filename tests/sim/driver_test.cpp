// The VostUsb driver emulation through its device: control codes and their buffer sizes, the user
// test's requests with the notification event set from the kernel, time-outs, hubs, and the
// clean-up after a process that dies holding the device.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <vector>

#include "library/driver_interface.h"
#include "machine_fixture.h"
#include "text/utf.h"

namespace sim_tests {
namespace {

namespace driver = VostUsbWardenManager::driver;

class Driver : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    service_ = start_vostusb();
    device_ = open_device();
    ASSERT_TRUE(device_) << os::GetLastError();
  }
  void TearDown() override {
    device_.reset();
    service_.reset();
    MachineTest::TearDown();
  }

  static os::unique_hfile open_device() {
    return os::unique_hfile(os::CreateFileW(driver::kDevicePath, driver::kDeviceAccess, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  }

  // The request's result: ERROR_SUCCESS or its last error; `out` resized to what came back.
  DWORD control(DWORD code, const std::string& in, std::string& out, DWORD out_size) {
    out.assign(out_size, '\0');
    DWORD returned = 0;
    const BOOL ok = os::DeviceIoControl(device_.get(), code, in.empty() ? nullptr : const_cast<char*>(in.data()),
                                        static_cast<DWORD>(in.size()), out_size ? out.data() : nullptr, out_size,
                                        &returned, nullptr);
    out.resize(returned);
    return ok ? ERROR_SUCCESS : os::GetLastError();
  }
  DWORD control(DWORD code, const std::string& in = {}) {
    std::string out;
    return control(code, in, out, 0);
  }

  template <class Record>
  static std::string bytes(const Record& record) {
    return std::string(reinterpret_cast<const char*>(&record), sizeof record);
  }

  void user_test_on(HANDLE event, std::int64_t timeout_100ns, bool default_accepted) {
    driver::StartRecord start{reinterpret_cast<std::uint64_t>(event), timeout_100ns,
                              static_cast<std::uint8_t>(timeout_100ns == 0), static_cast<std::uint8_t>(default_accepted)};
    ASSERT_EQ(control(driver::kUserTestOn, bytes(start)), ERROR_SUCCESS);
  }

  driver::RequestHeader peek() {
    std::string out;
    EXPECT_EQ(control(driver::kPeekRequest, {}, out, sizeof(driver::RequestHeader)), ERROR_SUCCESS);
    driver::RequestHeader header{};
    if (out.size() == sizeof header) std::memcpy(&header, out.data(), sizeof header);
    return header;
  }

  std::string driver_state() { return run("vostusb-sim", {"driver"}).out; }

  os::unique_schandle service_;
  os::unique_hfile device_;
};

TEST_F(Driver, ChecksTheBufferSizesOfEveryControlCode) {
  driver::StartRecord start{0, 0, 1, 0};
  const std::string mode2("\x02\0\0\0", 4), mode4("\x04\0\0\0", 4);
  struct Case {
    const char* what;
    DWORD code;
    std::string in;
    DWORD out_size;
    DWORD expected;
  };
  const Case cases[] = {
      {"clear names", driver::kClearAcceptedNameList, "", 0, ERROR_SUCCESS},
      {"clear names with input", driver::kClearAcceptedNameList, "x", 0, ERROR_INVALID_PARAMETER},
      {"clear types", driver::kClearAcceptedTypeList, "", 0, ERROR_SUCCESS},
      {"user test on", driver::kUserTestOn, bytes(start), 0, ERROR_SUCCESS},
      {"user test on, short record", driver::kUserTestOn, bytes(start).substr(0, 17), 0, ERROR_INVALID_PARAMETER},
      {"user test on, long record", driver::kUserTestOn, bytes(start) + "x", 0, ERROR_INVALID_PARAMETER},
      {"peek", driver::kPeekRequest, "", 14, ERROR_SUCCESS},
      {"peek, small buffer", driver::kPeekRequest, "", 13, ERROR_INSUFFICIENT_BUFFER},
      {"fetch, short request", driver::kFetchRequest, std::string(13, '\0'), 14, ERROR_INVALID_PARAMETER},
      {"fetch an unknown request", driver::kFetchRequest, std::string(14, '\0'), 14, ERROR_SUCCESS},
      {"answer", driver::kAnswerRequest, std::string(9, '\0'), 0, ERROR_SUCCESS},
      {"answer, short", driver::kAnswerRequest, std::string(8, '\0'), 0, ERROR_INVALID_PARAMETER},
      {"files and cache mode 2", driver::kSetFilesAndCacheMode, mode2, 0, ERROR_SUCCESS},
      {"files and cache mode 4", driver::kSetFilesAndCacheMode, mode4, 0, ERROR_INVALID_PARAMETER},
      {"files and cache mode, short", driver::kSetFilesAndCacheMode, mode2.substr(0, 2), 0, ERROR_INVALID_PARAMETER},
      {"hubs on", driver::kHubsAcceptOn, "", 0, ERROR_SUCCESS},
      {"hubs on with input", driver::kHubsAcceptOn, "x", 0, ERROR_INVALID_PARAMETER},
      {"stop notifying", driver::kStopNotifying, "", 0, ERROR_SUCCESS},
      {"user test off", driver::kUserTestOff, "", 0, ERROR_SUCCESS},
      {"an unknown code", driver::control_code(0x800), "", 0, ERROR_INVALID_FUNCTION},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(control(c.code, c.in, out, c.out_size), c.expected) << c.what;
  }
  // What was set shows in the driver's state.
  const std::string state = driver_state();
  EXPECT_NE(state.find("hubs accepted: yes\n"), std::string::npos) << state;
  EXPECT_NE(state.find("files and cache mode: 2\n"), std::string::npos) << state;
  EXPECT_NE(state.find("user test: off\n"), std::string::npos) << state;
}

TEST_F(Driver, FetchOfAnUnknownRequestIsVoid) {
  driver::RequestPrefix request{0, 77, 0, 0};
  std::string out;
  ASSERT_EQ(control(driver::kFetchRequest, bytes(request), out, 64), ERROR_SUCCESS);
  ASSERT_EQ(out.size(), sizeof request);
  EXPECT_EQ(static_cast<std::uint8_t>(out[12]), 1);
  const driver::RequestHeader header = peek();
  EXPECT_EQ(header.nothing_pending, 1);
}

TEST_F(Driver, UserTestAsksTheGuardThroughItsEvent) {
  os::unique_handle event(os::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  user_test_on(event.get(), 0, false);
  const std::u16string text = u"{\"DeviceDescriptor\":{\"Product\":\"Pendrive ąę\"}}";
  auto first = std::async(std::launch::async, [&] { return offer_device(text); });
  auto second = std::async(std::launch::async, [&] { return offer_device(u"second"); });
  for (int answered = 0; answered < 2; ++answered) {
    ASSERT_EQ(os::WaitForSingleObject(event.get(), 5000), WAIT_OBJECT_0) << "request " << answered;
    ASSERT_TRUE(os::ResetEvent(event.get()));
    const driver::RequestHeader header = peek();
    ASSERT_EQ(header.nothing_pending, 0);
    driver::RequestPrefix request{0, header.identifier, 0, 0};
    std::string out;
    EXPECT_EQ(control(driver::kFetchRequest, bytes(request), out, header.size - 1), ERROR_INSUFFICIENT_BUFFER);
    ASSERT_EQ(control(driver::kFetchRequest, bytes(request), out, header.size), ERROR_SUCCESS);
    ASSERT_EQ(out.size(), header.size);
    EXPECT_EQ(out[12], 0);  // not void
    const std::u16string got = text::from_utf16le(out.substr(driver::kRequestTextOffset, out.size() - 16));
    EXPECT_TRUE(got == text || got == u"second") << text::to_utf8(got);
    EXPECT_EQ(out.substr(out.size() - 2), std::string(2, '\0'));
    driver::Answer answer{header.identifier, static_cast<std::uint8_t>(got == text ? 0 : 1)};
    ASSERT_EQ(control(driver::kAnswerRequest, bytes(answer)), ERROR_SUCCESS);
  }
  EXPECT_EQ(first.get(), "accepted");
  EXPECT_EQ(second.get(), "refused");
  EXPECT_EQ(peek().nothing_pending, 1);
  const std::string state = driver_state();
  EXPECT_NE(state.find("accepted names: 1\n  " + text::to_utf8(text) + "\n"), std::string::npos) << state;
  ASSERT_EQ(control(driver::kClearAcceptedNameList), ERROR_SUCCESS);
  EXPECT_NE(driver_state().find("accepted names: 0\n"), std::string::npos);
}

TEST_F(Driver, UnansweredRequestGetsTheDefaultAfterTheTimeOut) {
  os::unique_handle event(os::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  user_test_on(event.get(), 3000000, true);  // 300 ms
  const auto began = std::chrono::steady_clock::now();
  EXPECT_EQ(offer_device(u"late"), "accepted");
  EXPECT_GE(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(300));
  EXPECT_EQ(os::WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(peek().nothing_pending, 1);
  // The other default, and the user test off: devices pass without asking.
  user_test_on(event.get(), 1000000, false);
  EXPECT_EQ(offer_device(u"late again"), "refused");
  ASSERT_EQ(control(driver::kUserTestOff), ERROR_SUCCESS);
  EXPECT_EQ(offer_device(u"unguarded"), "accepted");
}

TEST_F(Driver, HubsPassWithoutAskingWhenAccepted) {
  os::unique_handle event(os::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  user_test_on(event.get(), 1000000, false);  // 100 ms, refuse
  EXPECT_EQ(offer_device(u"hub", true), "refused");
  ASSERT_EQ(control(driver::kHubsAcceptOn), ERROR_SUCCESS);
  EXPECT_EQ(offer_device(u"hub", true), "accepted");
  EXPECT_EQ(offer_device(u"not a hub"), "refused");
  EXPECT_NE(driver_state().find("accepted types: hub\n"), std::string::npos);
}

TEST_F(Driver, ReadsItsServiceKeyPathsWhenItStarts) {
  SERVICE_STATUS st{};
  device_.reset();
  ASSERT_TRUE(os::ControlService(service_.get(), SERVICE_CONTROL_STOP, &st));
  os::unique_hkey key;
  ASSERT_EQ(os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\VostUsb", 0, KEY_SET_VALUE, key.put()),
            ERROR_SUCCESS);
  const std::u16string config = u"C:\\ProgramData\\vostusb\\config", folder = u"C:\\ProgramData\\vostusb\\internal_accept";
  ASSERT_EQ(os::RegSetValueExW(key.get(), u"ConfigFilePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(config.c_str()),
                               static_cast<DWORD>((config.size() + 1) * 2)), ERROR_SUCCESS);
  // Stored without its terminator: read as the same text.
  ASSERT_EQ(os::RegSetValueExW(key.get(), u"AdmittancesFolderPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                               static_cast<DWORD>(folder.size() * 2)), ERROR_SUCCESS);
  ASSERT_TRUE(os::StartServiceW(service_.get(), 0, nullptr)) << os::GetLastError();
  const std::string state = driver_state();
  EXPECT_NE(state.find("configuration file: C:\\ProgramData\\vostusb\\config\n"), std::string::npos) << state;
  EXPECT_NE(state.find("admittances folder: C:\\ProgramData\\vostusb\\internal_accept\n"), std::string::npos) << state;
}

TEST_F(Driver, CleansUpAfterAProcessThatDiesHoldingTheDevice) {
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  const pid_t holder = ::fork();
  if (holder == 0) {
    ::dup2(out[1], 1);
    const std::string program = testing_support::native_path(bin_path("driver_holder"));
    ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(out[1]);
  end_at_teardown(holder);
  char ready[6] = {};
  ASSERT_EQ(::read(out[0], ready, 5), 5);
  ::close(out[0]);
  ASSERT_STREQ(ready, "ready");
  // The holder's user test (no time-out, default accepted) keeps the device waiting until it dies.
  auto waiting = std::async(std::launch::async, [&] { return offer_device(u"held"); });
  EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  ASSERT_EQ(::kill(holder, SIGKILL), 0);
  ::waitpid(holder, nullptr, 0);
  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(waiting.get(), "accepted");
  const std::string state = driver_state();
  EXPECT_NE(state.find("open handles: 1\n"), std::string::npos) << state;  // only this test's own
  EXPECT_NE(state.find("user test: off\n"), std::string::npos) << state;
}

}  // namespace
}  // namespace sim_tests
