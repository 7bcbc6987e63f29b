// vostrelusb-tool devices: run as a real process on the default machine and with each device
// fixture of the repository plugged in by the sim CLI.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "library/usb/device_list.h"
#include "support/run_command.h"
#include "support/sim_root.h"
#include "text/utf.h"

namespace {

using testing_support::CommandResult;

std::vector<std::string> LinesOf(const std::string& out) {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// "<path> <VID:PID> <texts> drives=<letters> checksum=<40 hex digits> verdict=65535 -": the
// machine has no rules, so nothing decides.
std::string LinePattern(const std::string& path, const std::string& vid_pid, const std::string& drives) {
  return path + " " + vid_pid + " [^\n]*\\|[^\n]*\\|[^\n]*\\|[^\n]*\\|[^\n]* drives=" + drives +
         " checksum=[0-9A-F]{40} verdict=65535 -";
}

class ToolDevices : public testing_support::FreshHost {
 protected:
  CommandResult Run(const std::string& program, const std::vector<std::string>& args) {
    return testing_support::run_built(program, args, native_dir());
  }
};

const char* const kDefaultLines[] = {
    "1-1 1A2C:002D SONIX A|USB Keyboard||HIDClass|USB Input Device drives=-",
    "1-2 093A:2510 PixArt|USB Optical Mouse||HIDClass|USB Input Device drives=-",
    "2-1 05E3:0610 GenesysLogic|USB2.1 Hub||USB|Generic USB Hub drives=-",
};

}  // namespace

TEST_F(ToolDevices, DefaultMachineOneLinePerDeviceAndTheLibraryTextWithJson) {
  const CommandResult lines = Run("vostrelusb-tool", {"devices"});
  ASSERT_EQ(0, lines.status) << lines.err;
  const std::vector<std::string> got = LinesOf(lines.out);
  ASSERT_EQ(std::size(kDefaultLines), got.size()) << lines.out;
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(0u, got[i].find(std::string(kDefaultLines[i]) + " checksum=")) << got[i];
    EXPECT_TRUE(std::regex_match(got[i], std::regex(".* checksum=[0-9A-F]{40} verdict=65535 -"))) << got[i];
  }
  const CommandResult json = Run("vostrelusb-tool", {"devices", "--json"});
  ASSERT_EQ(0, json.status) << json.err;
  std::u16string text, status;
  ASSERT_EQ(0u, VostUsbWardenManager::GetCurrentUSBDevicesJSONListText(100, text, status));
  EXPECT_EQ(text::to_utf8(text), json.out);
  EXPECT_EQ(2, Run("vostrelusb-tool", {"devices", "--xml"}).status);
}

TEST_F(ToolDevices, EachDeviceFixtureShowsWhatItHolds) {
  struct Row {
    const char* fixture;
    std::vector<std::string> lines;  // patterns of the lines from port 1-3 on
  };
  const Row rows[] = {
      {"keyboard.json", {LinePattern("1-3", "1A2C:002D", "-")}},
      {"mouse.json", {LinePattern("1-3", "093A:2510", "-")}},
      {"composite_hid.json", {LinePattern("1-3", "1D57:FA60", "-")}},
      {"usb_stick.json", {LinePattern("1-3", "0951:1666", "E")}},
      {"card_reader.json", {LinePattern("1-3", "05E3:0749", "FG")}},
      {"usb_hard_disk.json", {LinePattern("1-3", "1058:2620", "H")}},
      {"hub.json", {LinePattern("1-3", "05E3:0610", "-"), LinePattern("1-3\\.4", "0951:1666", "K")}},
      {"nested_hubs.json",
       {LinePattern("1-3", "2109:2812", "-"), LinePattern("1-3\\.1", "093A:2510", "-"),
        LinePattern("1-3\\.3", "05E3:0608", "-"), LinePattern("1-3\\.3\\.1", "1A2C:002D", "-"),
        LinePattern("1-3\\.3\\.2", "05E3:0749", "FG")}},
      {"printer.json", {LinePattern("1-3", "03F0:032A", "-")}},
      {"network_adapter.json", {LinePattern("1-3", "0BDA:8153", "-")}},
      {"phone_mtp.json", {LinePattern("1-3", "18D1:4EE1", "-")}},
      {"no_strings.json", {"1-3 1A86:7523 \\|\\|\\|USB\\|USB Device drives=- checksum=[0-9A-F]{40} verdict=65535 -"}},
  };
  for (const Row& row : rows) {
    const std::string fixture = std::string(VOSTUSB_FIXTURES "/devices/") + row.fixture;
    const CommandResult plug = Run("vostusb-sim", {"plug", "1-3", fixture});
    ASSERT_EQ(0, plug.status) << row.fixture << ": " << plug.err;
    const CommandResult result = Run("vostrelusb-tool", {"devices"});
    EXPECT_EQ(0, result.status) << row.fixture;
    const std::vector<std::string> got = LinesOf(result.out);
    // The default machine's two devices on controller 1 come first and its hub on controller 2 last.
    ASSERT_EQ(3 + row.lines.size(), got.size()) << row.fixture << "\n" << result.out;
    for (std::size_t i = 0; i < row.lines.size(); ++i) {
      EXPECT_TRUE(std::regex_match(got[2 + i], std::regex(row.lines[i]))) << row.fixture << ": " << got[2 + i];
    }
    EXPECT_EQ(0u, got.back().find("2-1 05E3:0610 ")) << row.fixture;
    ASSERT_EQ(0, Run("vostusb-sim", {"unplug", "1-3"}).status) << row.fixture;
  }
}
