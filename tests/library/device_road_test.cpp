// The road of a new device on the simulated machine, as whole processes: a guard's stand-in
// (helpers/user_test_holder) switches the user test on through the facade, `vostusb-sim plug`
// connects a fixture, the stand-in's test function gets the device's text, and the device's state
// in the hardware file and in `machine show` follows the answer, the time-out default, the end of
// the user test, hubs and the fixtures' bad requests.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "library/manager.h"
#include "library/usb/device_list.h"
#include "library_fixture.h"
#include "platform/os.h"
#include "platform/sim/usb_store.h"
#include "support/background_program.h"
#include "support/run_command.h"
#include "text/utf.h"

using namespace VostUsbWardenManager;
using library_testing::LibraryHost;
using testing_support::BackgroundProgram;

namespace {

const std::string kDevices = VOSTUSB_FIXTURES "/devices/";

std::string Utf8(const std::u16string& s) { return text::to_utf8(s); }

class DeviceRoad : public LibraryHost {
 protected:
  void SetUp() override {
    LibraryHost::SetUp();
    ASSERT_EQ(manager_.Install(10, bin_path("vostusb.sys").c_str(), config_path_.c_str(), admittances_path_.c_str(),
                               SERVICE_DEMAND_START, nullptr, nullptr, nullptr, status_, true, nullptr, nullptr),
              0u)
        << Utf8(status_);
    ASSERT_EQ(manager_.Start(10, status_, nullptr, nullptr), 0u) << Utf8(status_);
  }
  void TearDown() override {
    holder_.reset();
    std::u16string ignored;
    manager_.Stop(10, ignored, nullptr, nullptr);
    manager_.Uninstall(0, ignored, nullptr, nullptr);
    LibraryHost::TearDown();
  }

  // Starts the stand-in and waits until its user test is on.
  void Hold(const std::string& answer, int timeout_ms, const std::string& default_verdict) {
    seen_ = native_dir() + "/seen.txt";
    std::filesystem::remove(seen_ + ".ready");  // a former stand-in's
    std::filesystem::remove(seen_ + ".failed");
    holder_ = std::make_unique<BackgroundProgram>(
        bin_path("user_test_holder"),
        text::from_utf8(answer + " " + std::to_string(timeout_ms) + " " + default_verdict + " " + seen_));
    ASSERT_TRUE(holder_->started());
    for (int i = 0; i < 500 && !Exists(seen_ + ".ready"); ++i) {
      ASSERT_FALSE(Exists(seen_ + ".failed")) << testing_support::read_native_file(seen_ + ".failed");
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(Exists(seen_ + ".ready"));
  }
  static bool Exists(const std::string& path) { return std::filesystem::exists(path); }

  testing_support::CommandResult Sim(const std::vector<std::string>& args) {
    return testing_support::run_built("vostusb-sim", args, native_dir());
  }
  // `plug --wait`: its verdict lines, after its "plugged FIXTURE into PORT".
  std::string PlugAndWait(const std::string& port, const std::string& fixture) {
    const auto r = Sim({"plug", "--wait", port, fixture});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string first = "plugged " + fixture + " into " + port + "\n";
    EXPECT_EQ(r.out.substr(0, first.size()), first);
    return r.out.substr(std::min(first.size(), r.out.size()));
  }
  // The texts the stand-in's test function got, one per line.
  std::string Seen() const { return Exists(seen_) ? testing_support::read_native_file(seen_) : std::string(); }
  // The line of `port` in `machine show`.
  std::string Shown(const std::string& port) {
    const std::string out = Sim({"machine", "show"}).out;
    const std::size_t at = out.find(" " + port + " ");
    if (at == std::string::npos) return "(no line for " + port + ")\n" + out;
    return out.substr(at + 1, out.find('\n', at) - at - 1);
  }
  static bool EndsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
  }
  // The device list's document of `port` now.
  static std::string Document(const std::string& port) {
    JsonHolder list;
    std::vector<std::u16string> ports;
    std::u16string status;
    EXPECT_EQ(GetCurrentUSBDevicesWithPorts(100, list, &ports, status), 0u);
    for (std::size_t i = 0; i < ports.size(); ++i) {
      if (Utf8(ports[i]) == port) return Utf8(list[static_cast<int>(i)].ToString());
    }
    return "(no document)";
  }
  std::string Fixture(const std::string& name, const std::string& text) {
    const std::string path = native_dir() + "/" + name;
    testing_support::write_native_file(path, text);
    return path;
  }

  Manager manager_{u"VostUsb", u"VostUsb", u"\\\\.\\VostUsb"};
  std::u16string status_;
  std::unique_ptr<BackgroundProgram> holder_;
  std::string seen_;
};

TEST_F(DeviceRoad, TheAnswerDecides) {
  ASSERT_NO_FATAL_FAILURE(Hold("accept", 60000, "refuse"));
  EXPECT_EQ(PlugAndWait("1-3", kDevices + "keyboard.json"), "1-3 admitted answer\n");
  EXPECT_EQ(Seen(), Document("1-3") + "\n") << "the request is the device list's document";
  EXPECT_TRUE(EndsWith(Shown("1-3"), ", admitted (answer)")) << Shown("1-3");

  holder_.reset();
  ASSERT_NO_FATAL_FAILURE(Hold("refuse", 60000, "accept"));
  EXPECT_EQ(PlugAndWait("1-4", kDevices + "usb_stick.json"), "1-4 blocked answer\n");
  EXPECT_NE(Seen().find("\"DataStick 3.0\""), std::string::npos) << Seen();
  EXPECT_TRUE(EndsWith(Shown("1-4"), "volumes E: removable (hidden), blocked (answer)")) << Shown("1-4");
  EXPECT_EQ(os::GetDriveTypeW(u"E:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR)) << "a blocked device's volume is not there";
  EXPECT_EQ(Document("1-4").find("\"DriveLetters\":\"E"), std::string::npos);
}

TEST_F(DeviceRoad, WithoutAnAnswerTheDefault) {
  struct Case {
    const char* answer;
    int timeout_ms;
    const char* default_verdict;
    const char* verdict;
  };
  const Case cases[] = {
      {"silent", 300, "refuse", "1-3 blocked time-out default\n"},
      {"silent", 300, "accept", "1-3 admitted time-out default\n"},
  };
  for (const Case& c : cases) {
    ASSERT_NO_FATAL_FAILURE(Hold(c.answer, c.timeout_ms, c.default_verdict));
    const auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(PlugAndWait("1-3", kDevices + "mouse.json"), c.verdict);
    EXPECT_GE(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(c.timeout_ms));
    ASSERT_EQ(Sim({"unplug", "1-3"}).status, 0);
    holder_.reset();
  }
}

TEST_F(DeviceRoad, TheOwnerDyingEndsTheTestWithTheDefault) {
  ASSERT_NO_FATAL_FAILURE(Hold("silent", 0, "accept"));  // no time-out: only the end of the test helps
  const auto plugged = Sim({"plug", "1-3", kDevices + "usb_stick.json"});
  ASSERT_EQ(plugged.status, 0) << plugged.err;
  EXPECT_TRUE(EndsWith(Shown("1-3"), "volumes E: removable (hidden), waiting")) << Shown("1-3");
  for (int i = 0; i < 500 && Seen().empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_FALSE(Seen().empty()) << "the guard has the request";

  holder_.reset();  // killed while it decides
  std::string line;
  for (int i = 0; i < 500; ++i) {
    line = Shown("1-3");
    if (line.find("waiting") == std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(EndsWith(line, "volumes E: removable, admitted (test ended)")) << line;
  EXPECT_EQ(os::GetDriveTypeW(u"E:\\"), static_cast<UINT>(DRIVE_REMOVABLE));
  EXPECT_EQ(PlugAndWait("1-4", kDevices + "mouse.json"), "1-4 admitted user test off\n");
}

TEST_F(DeviceRoad, AnUnpluggedDeviceIsWithdrawn) {
  ASSERT_NO_FATAL_FAILURE(Hold("silent", 0, "refuse"));
  ASSERT_EQ(Sim({"plug", "1-3", kDevices + "mouse.json"}).status, 0);
  for (int i = 0; i < 500 && Seen().empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_FALSE(Seen().empty()) << "the guard has the request";
  EXPECT_NE(Sim({"driver"}).out.find("pending requests: 1\n  request 1: device at 1-3\n"), std::string::npos)
      << Sim({"driver"}).out;
  ASSERT_EQ(Sim({"unplug", "1-3"}).status, 0);
  EXPECT_NE(Sim({"driver"}).out.find("pending requests: 0\n"), std::string::npos) << "withdrawn at once";
  EXPECT_EQ(Shown("1-3"), std::string("1-3        (empty)"));
}

TEST_F(DeviceRoad, HubsAndTheDevicesBehindThem) {
  ASSERT_NO_FATAL_FAILURE(Hold("refuse", 60000, "accept"));
  // A hub is asked about like any device; behind a blocked hub nothing is enumerated.
  EXPECT_EQ(PlugAndWait("1-3", kDevices + "hub.json"), "1-3 blocked answer\n1-3.4 blocked hub blocked\n");
  EXPECT_EQ(Seen().find("DataStick"), std::string::npos) << "the stick behind it was not asked about";
  ASSERT_EQ(Sim({"unplug", "1-3"}).status, 0);

  // Hubs accepted: the hub passes without a request, the stick behind it is asked about.
  ASSERT_EQ(manager_.SetHubsAccept(true, ConfigDriverOnly, status_), 0u) << Utf8(status_);
  const std::string before = Seen();
  EXPECT_EQ(PlugAndWait("1-3", kDevices + "hub.json"), "1-3 admitted hub\n1-3.4 blocked answer\n");
  EXPECT_EQ(Seen().substr(before.size()).find("USB2.1 Hub"), std::string::npos) << Seen();
  EXPECT_NE(Seen().substr(before.size()).find("DataStick"), std::string::npos) << Seen();
  EXPECT_EQ(os::GetDriveTypeW(u"K:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
}

// A request too short to hold its header is answered at once with the tester's default, so that
// the devices queued behind it are not held up until its time-out.
TEST_F(DeviceRoad, ARequestTooShortToFetchGetsTheDefaultAtOnce) {
  ASSERT_NO_FATAL_FAILURE(Hold("accept", 60000, "refuse"));
  const std::string fixture = Fixture("short.json", R"({"vendor_id": 1, "product_id": 3, "request": {"text": "short", "size": 12}})");
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(PlugAndWait("1-3", fixture), "1-3 blocked answer\n");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30)) << "left to its time-out";
  EXPECT_EQ(Seen(), "") << "never fetched, never asked about";
}

TEST_F(DeviceRoad, SeveralDevicesWaitAtOnce) {
  ASSERT_NO_FATAL_FAILURE(Hold("accept", 60000, "refuse"));
  ASSERT_EQ(manager_.SetHubsAccept(true, ConfigDriverOnly, status_), 0u) << Utf8(status_);
  const std::string two = Fixture("two.json", R"({"vendor_id": 1, "product_id": 2, "class": 9,
      "hub": {"ports": 4, "devices": {"1": {"file": ")" + kDevices + R"(mouse.json"},
                                      "2": {"file": ")" + kDevices + R"(keyboard.json"}}}})");
  const std::string out = PlugAndWait("1-3", two);
  EXPECT_EQ(out, "1-3 admitted hub\n1-3.1 admitted answer\n1-3.2 admitted answer\n");
  std::size_t lines = 0;
  for (char c : Seen()) lines += c == '\n';
  EXPECT_EQ(lines, 2u) << Seen();
}

TEST_F(DeviceRoad, RequestsOfTheirOwn) {
  ASSERT_NO_FATAL_FAILURE(Hold("accept", 60000, "refuse"));
  struct Case {
    const char* what;
    std::string request;
    const char* verdict;
    std::string seen;
  };
  const Case cases[] = {
      {"not JSON", R"({"text": "not JSON at all"})", "admitted answer", "not JSON at all\n"},
      {"JSON without the objects", R"({"text": "{\"x\":1}"})", "admitted answer", "{\"x\":1}\n"},
      {"no terminating NUL", R"({"text": "no end", "nul": false})", "admitted answer", "no end\n"},
      {"a size that cuts the text", R"({"text": "abcdef", "size": 20})", "admitted answer", "abc\n"},
      {"a void request", R"({"text": "void", "void": true})", "blocked void request", ""},
      {"megabytes", R"({"text": "0123456789", "repeat": 300000})", "admitted answer", ""},
  };
  for (const Case& c : cases) {
    const std::string before = Seen();
    const std::string fixture = Fixture("own.json", R"({"vendor_id": 1, "product_id": 3, "request": )" + c.request + "}");
    EXPECT_EQ(PlugAndWait("1-3", fixture), std::string("1-3 ") + c.verdict + "\n") << c.what;
    const std::string seen = Seen().substr(before.size());
    if (std::string(c.what) == "megabytes") {
      EXPECT_EQ(seen.size(), 3000001u) << c.what;
    } else {
      EXPECT_EQ(seen, c.seen) << c.what;
    }
    ASSERT_EQ(Sim({"unplug", "1-3"}).status, 0);
  }
}

}  // namespace
