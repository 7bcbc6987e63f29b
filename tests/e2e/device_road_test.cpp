// The road of a plugged device through whole processes on one simulated machine: the guard
// ("/start", a copy of its own with the driver images beside it), the tray and monitor stand-ins
// of the installation folder, and `vostusb-sim plug` handing devices to the VostUsb driver. Each
// test checks what the machine made of the device (the verdict and where it came from), the files
// the decision wrote, what the tray saw and the rule that reached the monitor. Linux build only:
// plugging needs the simulated machine.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../platform/child_process.h"
#include "config/config_host.h"
#include "e2e/stand_in_ready.h"
#include "pipes/commp.h"
#include "process/registry.h"
#include "support/background_program.h"
#include "support/debug_output.h"
#include "support/run_command.h"
#include "text/number.h"
#include "text/utf.h"

namespace {

namespace fs = std::filesystem;
using testing_support::BackgroundProgram;
using testing_support::lines_of;
using testing_support::lines_starting;
using testing_support::read_native_file;
using testing_support::write_native_file;

constexpr auto kStartBound = std::chrono::seconds(60);

// Waits until `ready` holds, looking every 50 ms; false when `bound` passes first.
bool wait_until(const std::function<bool()>& ready, std::chrono::milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!ready()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    os::Sleep(50);
  }
  return true;
}

std::string fixture(const std::string& name) { return std::string(VOSTUSB_SOURCE_DIR) + "/sim/fixtures/devices/" + name; }

// The guard's configuration: asking the user, every built-in list on, and `rules` of its own.
std::string configuration(const std::string& rules) {
  return R"({"usb":{"active":1,"action":2,"allow_io":1,"allow_printers":1,"allow_network":1,"report_on_allow":0,)"
         R"("allow_initial":1,"rules":)" + rules + "}}";
}

// The configuration rule that blocks the Westline disk of usb_hard_disk.json.
const std::string kBlockWestline = R"([[{"producent":"=Westline"},0]])";

}  // namespace

class DeviceRoad : public testing_support::ConfigHost {
 protected:
  void SetUp() override {
    ConfigHost::SetUp();
    ASSERT_EQ(1, registry::reg_write_string(u"Software\\kavenor", u"RootPath", installation_folder()));
    fresh_output();
    // A copy of its own, as "/stop" finds the guard by its image among every machine's processes;
    // the driver's image ("sys") is looked for beside it.
    const std::string folder = native_dir() + "/guard";
    platform_test::copy_helper("vostrelusb", folder, "vostrelusb");
    platform_test::copy_driver_images(folder);
    guard_path_ = win_path("guard/vostrelusb");
    // The machine's kernel is started from the build folder (a program starts it from its own).
    ASSERT_EQ(0, sim({"up"}).status);
  }
  // Diagnostic lines from now on only (a test that starts the programs again waits for new lines).
  void fresh_output() {
    lines_ = std::make_unique<testing_support::DebugOutput>(native_dir());
    ASSERT_EQ("", lines_->error());
    std::filesystem::remove(tray_log());
  }
  // Ends the programs of a table's case and clears what it left on the machine (the driver service
  // stays): its devices at `ports` and the data folder.
  void next_case(const std::vector<std::string>& ports) {
    guard_.reset();
    tray_.reset();
    monitor_.reset();
    for (const std::string& port : ports) EXPECT_EQ(0, sim({"unplug", port}).status);
    fs::remove_all(data_folder());
  }
  void TearDown() override {
    guard_.reset();
    tray_.reset();
    monitor_.reset();
    lines_.reset();
    ConfigHost::TearDown();
  }

  // Starts a stand-in of the installation folder and waits until it serves `channel`.
  std::unique_ptr<BackgroundProgram> start_stand_in(const std::string& program, const std::u16string& parameters,
                                                    const std::u16string& channel) {
    auto started = std::make_unique<BackgroundProgram>(installed_program(program), parameters);
    EXPECT_TRUE(started->started()) << program;
    EXPECT_EQ("", e2e_test::wait_for_stand_in(*lines_, text::from_utf8(program), channel, kStartBound));
    return started;
  }
  // The monitor keeps its configuration in monitor.json of the scratch folder.
  void start_monitor(const std::string& document) {
    write_native_file(native_dir() + "/monitor.json", document);
    monitor_ = start_stand_in("kavenormon.exe", u"\"" + win_path("monitor.json") + u"\"", u"default");
  }
  // The tray answers by `policy` and logs what it receives in tray.log.
  void start_tray(const std::u16string& policy) {
    tray_ = start_stand_in("kavenormenu.exe", u"--log \"" + text::from_utf8(tray_log()) + u"\" " + policy, u"usb_device");
  }
  std::string tray_log() const { return native_dir() + "/tray.log"; }
  bool tray_saw(const std::string& text) const { return tray_count(text) > 0; }
  std::size_t tray_count(const std::string& text) const {
    const std::string log = read_native_file(tray_log());
    std::size_t count = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
    return count;
  }

  // Starts the guard and waits for its driver bring-up.
  void start_guard() {
    guard_ = std::make_unique<BackgroundProgram>(guard_path_, u"/start");
    ASSERT_TRUE(guard_->started());
    ASSERT_TRUE(lines_->wait_for_line(u"User mode enable done.", kStartBound)) << "the guard did not bring the driver up";
  }
  // Asks the running guard to stop and waits for it to end.
  bool stop_guard() {
    BackgroundProgram stop(guard_path_, u"/stop");
    return stop.started() && os::WaitForSingleObject(stop.handle(), 30000) == WAIT_OBJECT_0 &&
           os::WaitForSingleObject(guard_->handle(), 60000) == WAIT_OBJECT_0;
  }
  bool guard_running() const { return os::WaitForSingleObject(guard_->handle(), 0) == WAIT_TIMEOUT; }

  testing_support::CommandResult sim(const std::vector<std::string>& args) {
    return testing_support::run_built("vostusb-sim", args, native_dir());
  }
  // Plugs `device` at `port` and returns the verdict line "PORT admitted|blocked WHY".
  std::string plug(const std::string& port, const std::string& device) {
    const auto result = sim({"plug", "--wait", port, device});
    EXPECT_EQ(0, result.status) << result.err;
    const auto lines = lines_of(result.out);
    return lines.empty() ? "" : lines.back();
  }
  // Plugs without waiting: returns once the device waits for the guard.
  void plug_and_go_on(const std::string& port, const std::string& device) {
    const auto result = sim({"plug", port, device});
    ASSERT_EQ(0, result.status) << result.err;
  }
  // The device's line of `machine show` (its state at the end), or "".
  std::string machine_line(const std::string& port) {
    for (const std::string& line : lines_of(sim({"machine", "show"}).out)) {
      if (line.compare(0, 3 + port.size(), "  " + port + " ") == 0) return line;
    }
    return "";
  }
  bool line_ends_with(const std::string& port, const std::string& end) { return machine_line(port).ends_with(end); }
  std::size_t pending_requests() {
    const auto lines = lines_starting(lines_of(sim({"driver"}).out), "pending requests: ");
    return lines.empty() ? 0 : static_cast<std::size_t>(std::stoul(lines[0].substr(18)));
  }

  // The configuration rules as the monitor now hands them out ("config_rules N VERDICT TEXTS").
  std::vector<std::string> monitor_rules() {
    const auto result = testing_support::run_built("vostrelusb-tool", {"config"}, native_dir());
    EXPECT_EQ(0, result.status) << result.err;
    return lines_starting(lines_of(result.out), "config_rules ");
  }

  // Native paths of the files under the data folder's `folder` whose content (UTF-16LE) contains
  // `text`; ".json" files only.
  std::vector<std::string> files_with(const std::string& folder, const std::u16string& text) const {
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(data_folder() + "/" + folder, error)) {
      if (!entry.is_regular_file() || entry.path().extension() != ".json") continue;
      if (read_native_file(entry.path().string()).find(text::to_utf16le(text)) != std::string::npos) {
        found.push_back(entry.path().string());
      }
    }
    return found;
  }
  std::string data_folder() const { return native_dir() + "/all users/kavenor"; }

  std::u16string guard_path_;
  std::unique_ptr<testing_support::DebugOutput> lines_;
  std::unique_ptr<BackgroundProgram> monitor_;
  std::unique_ptr<BackgroundProgram> tray_;
  std::unique_ptr<BackgroundProgram> guard_;
};

// One device of each kind of decision: a built-in rule allows the keyboard; the stick is left to
// the user, who answers through the tray, and the answer comes back from the monitor as a rule;
// the configuration blocks the disk, which is reported and announced to the tray.
TEST_F(DeviceRoad, DevicesArePluggedAndDecided) {
  const struct {
    const char* policy;
    const char* verdict;      // of the stick
    const char* rule_verdict; // of the rule made from the answer
  } cases[] = {{"allow", "admitted", "1"}, {"block", "blocked", "0"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.policy);
    fresh_output();
    start_monitor(configuration(kBlockWestline));
    start_tray(text::from_utf8(c.policy));
    start_guard();

    EXPECT_EQ("1-5 admitted answer", plug("1-5", fixture("keyboard.json")));
    EXPECT_EQ("1-3 " + std::string(c.verdict) + " answer", plug("1-3", fixture("usb_stick.json")));
    EXPECT_EQ("1-4 blocked answer", plug("1-4", fixture("usb_hard_disk.json")));

    EXPECT_TRUE(line_ends_with("1-5", "HIDClass, admitted (answer)")) << machine_line("1-5");
    EXPECT_TRUE(line_ends_with("1-3", std::string(c.verdict) + " (answer)")) << machine_line("1-3");
    // A blocked device stays connected, its volume hidden.
    EXPECT_TRUE(line_ends_with("1-4", "volumes H: fixed (hidden), blocked (answer)")) << machine_line("1-4");

    // The tray was asked about the stick only, and told of the disk the configuration blocked.
    EXPECT_EQ(1u, tray_count("ask_usb_device|"));
    EXPECT_TRUE(tray_saw("E0D55EA573DCF450E97C0D5A"));  // the stick's serial number
    EXPECT_TRUE(wait_until([&] { return tray_saw("usb_device_blocked|"); }, std::chrono::seconds(20)));
    EXPECT_EQ(1u, tray_count("usb_device_blocked|"));
    EXPECT_TRUE(tray_saw("  manufacturer: Westline"));
    EXPECT_FALSE(tray_saw("SONIX"));

    // The answer reached the monitor as a rule of exact patterns; the configuration's own comes first.
    const std::vector<std::string> rules = {
        "config_rules 1 0 |=Westline|||",
        "config_rules 2 " + std::string(c.rule_verdict) +
            " =DataStick 3.0|=Kingmax|=E0D55EA573DCF450E97C0D5A|=USB|=USB Mass Storage Device"};
    EXPECT_EQ(rules, monitor_rules());

    // Every device decided is recorded in the accept folder; only the blocked ones are reported.
    for (const char16_t* maker : {u"\"producent\" : \"SONIX A\"", u"\"producent\" : \"Kingmax\"", u"\"producent\" : \"Westline\""}) {
      EXPECT_EQ(1u, files_with("vostusb/accept", maker).size()) << text::to_utf8(maker);
    }
    const auto disk_reports = files_with("logs", u"\"Westline\"");
    ASSERT_EQ(1u, disk_reports.size());
    EXPECT_TRUE(disk_reports[0].ends_with("-1403.json")) << disk_reports[0];
    EXPECT_EQ(std::string(c.verdict) == "blocked" ? 1u : 0u, files_with("logs", u"\"Kingmax\"").size());
    EXPECT_TRUE(files_with("logs", u"\"SONIX\"").empty());

    EXPECT_TRUE(stop_guard());
    // With the user test off every device is let in.
    EXPECT_EQ("1-6 admitted user test off", plug("1-6", fixture("card_reader.json")));

    next_case({"1-3", "1-4", "1-5", "1-6"});
  }
}

// A tray that is not there, answers something other than "1", or takes the question and goes away
// without an answer: the stick is blocked by that answer (the driver gets it), a blocking rule still
// reaches the monitor, and no blocked notice follows. Devices the rules decide never need the tray.
TEST_F(DeviceRoad, TrayFaultsBlockTheAskedDevice) {
  const struct {
    const char* what;
    const char16_t* policy;  // none: no tray
    bool goes_away;          // the tray takes the question and ends without answering
  } cases[] = {
      {"no tray", nullptr, false},
      {"an answer that is not 1", u"answer=yes", false},
      {"1 with more after it", u"answer=11", false},
      {"a silent tray that ends", u"silent", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fresh_output();
    start_monitor(configuration("[]"));
    if (c.policy) start_tray(c.policy);
    start_guard();

    EXPECT_EQ("1-5 admitted answer", plug("1-5", fixture("keyboard.json")));
    if (c.goes_away) {
      plug_and_go_on("1-3", fixture("usb_stick.json"));
      ASSERT_TRUE(wait_until([&] { return tray_saw("ask_usb_device|"); }, std::chrono::seconds(20)));
      EXPECT_TRUE(line_ends_with("1-3", "waiting")) << machine_line("1-3");
      EXPECT_EQ(1u, pending_requests());
      tray_.reset();
      EXPECT_TRUE(wait_until([&] { return line_ends_with("1-3", "blocked (answer)"); }, std::chrono::seconds(20)))
          << machine_line("1-3");
    } else {
      EXPECT_EQ("1-3 blocked answer", plug("1-3", fixture("usb_stick.json")));
    }
    EXPECT_EQ(std::vector<std::string>{"config_rules 1 0 =DataStick 3.0|=Kingmax|=E0D55EA573DCF450E97C0D5A|=USB|=USB Mass Storage Device"},
              monitor_rules());
    EXPECT_EQ(1u, files_with("logs", u"\"Kingmax\"").size());
    EXPECT_EQ(0u, tray_count("usb_device_blocked|"));

    EXPECT_TRUE(stop_guard());
    next_case({"1-3", "1-5"});
  }
}

class DeviceAskedAbout : public DeviceRoad {
 protected:
  // The guard up with a silent tray, and the stick plugged: the decision waits for the user.
  void SetUp() override {
    DeviceRoad::SetUp();
    start_monitor(configuration("[]"));
    start_tray(u"silent");
    start_guard();
    plug_and_go_on("1-3", fixture("usb_stick.json"));
    ASSERT_TRUE(wait_until([&] { return tray_saw("ask_usb_device|"); }, std::chrono::seconds(20)));
    ASSERT_TRUE(line_ends_with("1-3", "waiting")) << machine_line("1-3");
  }
  // The rule that the user's missing answer makes, as the monitor keeps it.
  void expect_blocking_rule_at_the_monitor() {
    EXPECT_TRUE(lines_->wait_for_line(u">> New device, allow=0", std::chrono::seconds(20)));
    EXPECT_EQ(std::vector<std::string>{"config_rules 1 0 =DataStick 3.0|=Kingmax|=E0D55EA573DCF450E97C0D5A|=USB|=USB Mass Storage Device"},
              monitor_rules());
  }
};

// Unplugged while the user is asked: the driver withdraws the request; the answer that comes later
// is ignored, its rule still goes to the monitor, and the guard goes on deciding.
TEST_F(DeviceAskedAbout, UnpluggedMeanwhile) {
  ASSERT_EQ(0, sim({"unplug", "1-3"}).status);
  EXPECT_EQ(0u, pending_requests());
  tray_.reset();
  expect_blocking_rule_at_the_monitor();
  EXPECT_EQ("1-5 admitted answer", plug("1-5", fixture("keyboard.json")));
  EXPECT_TRUE(guard_running());
}

// The guard killed: its handle goes, the user test ends and the device gets the default at once.
TEST_F(DeviceAskedAbout, GuardKilledMeanwhile) {
  ASSERT_TRUE(os::TerminateProcess(guard_->handle(), 1));
  ASSERT_EQ(WAIT_OBJECT_0, os::WaitForSingleObject(guard_->handle(), 10000));
  EXPECT_TRUE(wait_until([&] { return line_ends_with("1-3", "admitted (test ended)"); }, std::chrono::seconds(5)))
      << machine_line("1-3");
  EXPECT_EQ(0u, pending_requests());
}

// "stop" while the user is asked: the user test goes off (the device gets the default at once),
// and the tear-down then waits for the decision, whose rule still reaches the monitor.
TEST_F(DeviceAskedAbout, StopMeanwhile) {
  BackgroundProgram stop(guard_path_, u"/stop");
  ASSERT_EQ(WAIT_OBJECT_0, os::WaitForSingleObject(stop.handle(), 30000));
  // The main thread sees the request within its 5 s poll.
  EXPECT_TRUE(wait_until([&] { return line_ends_with("1-3", "admitted (test ended)"); }, std::chrono::seconds(20)))
      << machine_line("1-3");
  EXPECT_TRUE(guard_running());
  EXPECT_FALSE(lines_->wait_for_line(u"User mode disabled.", std::chrono::milliseconds(0)));
  tray_.reset();
  expect_blocking_rule_at_the_monitor();
  EXPECT_TRUE(lines_->wait_for_line(u"User mode disabled.", std::chrono::seconds(20)));
  EXPECT_EQ(WAIT_OBJECT_0, os::WaitForSingleObject(guard_->handle(), 30000));
  EXPECT_TRUE(lines_->wait_for_line(u"-> Exit.", std::chrono::seconds(5)));
}

// The driver's service stopped under a running guard: the stop stays pending while the guard holds
// its handles; the guard neither crashes nor hangs, and "/stop" still ends it.
TEST_F(DeviceRoad, DriverServiceStoppedUnderTheGuard) {
  start_monitor(configuration("[]"));
  start_tray(u"allow");
  start_guard();
  const auto stopped = testing_support::run_built("sc.exe", {"stop", "VostUsb"}, native_dir());
  EXPECT_EQ(0, stopped.status) << stopped.err;
  EXPECT_NE(std::string::npos, stopped.out.find("STOP_PENDING")) << stopped.out;
  EXPECT_EQ("1-5 admitted answer", plug("1-5", fixture("keyboard.json")));
  EXPECT_TRUE(guard_running());
  EXPECT_TRUE(stop_guard());
  EXPECT_TRUE(lines_->wait_for_line(u"-> Exit.", std::chrono::seconds(5)));
  // Its handles closed, the driver's pending stop completes.
  EXPECT_TRUE(wait_until([&] { return sim({"driver"}).out == "driver: not loaded\n"; }, std::chrono::seconds(20)))
      << sim({"driver"}).out;
}

namespace {

// `text` as a JSON string.
std::string json_string(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

// A mouse-like device text that the built-in input rules allow.
const std::string kInputDevice =
    R"({"DeviceDescriptor":{"Manufacturer":"Acme","Product":"Pad","SerialNumber":"1"},)"
    R"("DeviceProperty":{"ClassName":"HIDClass","DeviceDescription":"USB Input Device"}})";

}  // namespace

// Requests of bad shape, each a stick whose request a fixture gives: the guard reads only what the
// driver returned, decides what it could read (a text it cannot read describes no device, so the
// user is asked and the tray blocks it), gives a request it cannot fetch the default verdict, leaves
// a void request to the driver's default, and goes on deciding the next device.
TEST_F(DeviceRoad, BadRequestsAreDecidedSafely) {
  const struct {
    const char* what;
    std::string request;  // the fixture's "request" object
    const char* verdict;
  } cases[] = {
      {"not JSON", R"({"text":"not JSON"})", "blocked answer"},
      {"without the objects", R"({"text":"{\"Other\":{\"ClassName\":\"HIDClass\"}}"})", "blocked answer"},
      {"megabytes of brackets", R"({"text":"[","repeat":2000000})", "blocked answer"},
      {"no terminating NUL", R"({"text":)" + json_string(kInputDevice) + R"(,"nul":false})", "admitted answer"},
      {"a size of 15 bytes", R"({"text":)" + json_string(kInputDevice) + R"(,"size":15})", "blocked answer"},
      // Too short to fetch: the guard gives it the default verdict (accepted) without reading it.
      {"a size of 12 bytes", R"({"text":)" + json_string(kInputDevice) + R"(,"size":12})", "admitted answer"},
      {"a void request", R"({"text":)" + json_string(kInputDevice) + R"(,"void":true})", "admitted void request"},
  };
  start_monitor(configuration("[]"));
  start_tray(u"block");
  start_guard();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string device = native_dir() + "/device.json";
    write_native_file(device, R"({"file":)" + json_string(fixture("usb_stick.json")) + R"(,"request":)" + c.request + "}");
    EXPECT_EQ("1-3 " + std::string(c.verdict), plug("1-3", device));
    EXPECT_TRUE(guard_running());
    EXPECT_EQ(0, sim({"unplug", "1-3"}).status);
  }
  EXPECT_EQ("1-5 admitted answer", plug("1-5", fixture("keyboard.json")));
  EXPECT_TRUE(stop_guard());
}
