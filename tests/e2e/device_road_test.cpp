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
using testing_support::read_native_file;
using testing_support::write_native_file;

constexpr auto kStartBound = std::chrono::seconds(60);

std::vector<std::string> lines_of(const std::string& out) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) lines.push_back(out.substr(start, end - start));
  return lines;
}

std::vector<std::string> lines_starting(const std::vector<std::string>& lines, const std::string& prefix) {
  std::vector<std::string> found;
  for (const auto& line : lines) {
    if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line);
  }
  return found;
}

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
    for (const char* image : {"vostusb.sys", "vostusb10.sys"}) {
      fs::copy_file(fs::path(VOSTUSB_BIN_DIR) / image, fs::path(folder) / image);
    }
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
    const std::u16string listener = u"listener [\\\\.\\pipe\\vostrel_comm_" + channel + u"_";
    auto started = std::make_unique<BackgroundProgram>(installed_program(program), parameters);
    EXPECT_TRUE(started->started()) << program;
    EXPECT_TRUE(lines_->wait_for_line(listener, kStartBound)) << program << " does not listen";
    // Processes are found by name among all of the host's processes: another machine's stand-in
    // would be asked instead of this one.
    DWORD pid = 0;
    for (const auto& line : lines_->lines()) {
      const auto at = line.find(listener);
      if (at != std::u16string::npos) pid = static_cast<DWORD>(text::wtoi(line.substr(at + listener.size())));
    }
    CProcesses processes;
    EXPECT_EQ(pid, processes.pid_by_name(text::from_utf8(program))) << "another " << program << " runs on this host";
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

    guard_.reset();
    tray_.reset();
    monitor_.reset();
    for (const char* port : {"1-3", "1-4", "1-5", "1-6"}) EXPECT_EQ(0, sim({"unplug", port}).status);
    fs::remove_all(data_folder());
  }
}
