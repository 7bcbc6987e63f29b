// `vostrelusb-tool driver` as an administrator uses it on a fresh simulated machine: the guard's
// whole sequence, each step visible through the machine's own tools, and the failures with their
// codes and texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_command.h"
#include "support/sim_root.h"
#include "text/utf.h"

namespace {

using testing_support::CommandResult;

class ToolDriver : public testing_support::FreshHost {
 protected:
  CommandResult tool(const std::vector<std::string>& args) {
    std::vector<std::string> all{"driver"};
    all.insert(all.end(), args.begin(), args.end());
    return testing_support::run_built("vostrelusb-tool", all, native_dir());
  }
  CommandResult sim(const std::string& command) { return testing_support::run_built("vostusb-sim", {command}, native_dir()); }
  // The row of the VostUsb service in `vostusb-sim services`, or "" when there is none.
  std::string service_row() {
    const CommandResult services = sim("services");
    EXPECT_EQ(services.status, 0) << services.err;
    std::size_t at = services.out.find("\nVostUsb ");
    if (at == std::string::npos) return "";
    const std::size_t end = services.out.find('\n', at + 1);
    return services.out.substr(at + 1, end - at - 1);
  }
  std::string config_path() const { return native_dir() + "/sim/drive_c/ProgramData/kavenor/vostusb/config.json"; }
};

void ExpectContains(const std::string& text, const std::string& part) {
  EXPECT_NE(text.find(part), std::string::npos) << "\"" << part << "\" not in:\n" << text;
}

TEST_F(ToolDriver, TheGuardsSequenceStepByStep) {
  const CommandResult install = tool({"install"});
  ASSERT_EQ(install.status, 0) << install.err;
  ExpectContains(install.out, "installed: ");
  ExpectContains(install.out, "vostusb");
  const std::string installed = service_row();
  ExpectContains(installed, "kernel");
  ExpectContains(installed, "demand");
  ExpectContains(installed, "stopped");

  const CommandResult start = tool({"start"});
  ASSERT_EQ(start.status, 0) << start.err;
  EXPECT_EQ(start.out, "state: RUNNING (4)\n");
  ExpectContains(service_row(), "running");

  const CommandResult status = tool({"status"});
  ASSERT_EQ(status.status, 0) << status.err;
  EXPECT_EQ(status.out,
            "service: VostUsb\n"
            "state: RUNNING (4)\n"
            "ConfigFilePath: C:\\ProgramData\\kavenor\\vostusb\\config.json\n"
            "AdmittancesFolderPath: C:\\ProgramData\\kavenor\\vostusb\\internal_accept\n"
            "ServiceActive: 1\n"
            "config: {\"capture\":true,\"filesAndCacheMode\":1,\"filter\":true,\"hubs_always_accepted\":false,"
            "\"notify_handle\":true}\n");

  const CommandResult hubs = tool({"hubs", "on"});
  ASSERT_EQ(hubs.status, 0) << hubs.err;
  const CommandResult cache = tool({"cache", "3"});
  ASSERT_EQ(cache.status, 0) << cache.err;
  const CommandResult driver = sim("driver");
  ExpectContains(driver.out, "hubs accepted: yes");
  ExpectContains(driver.out, "files and cache mode: 3");
  ExpectContains(tool({"status"}).out,
                 "config: {\"capture\":true,\"filesAndCacheMode\":3,\"filter\":true,\"hubs_always_accepted\":true,");

  const CommandResult stop = tool({"stop"});
  ASSERT_EQ(stop.status, 0) << stop.err;
  EXPECT_EQ(stop.out, "state: STOPPED (1)\n");
  ExpectContains(service_row(), "stopped");
  const CommandResult stop_again = tool({"stop"});
  EXPECT_EQ(stop_again.status, 0) << "a stopped service is what stop asks for";
  EXPECT_EQ(stop_again.out, "state: STOPPED (1), was not running\n");

  // The driver reads the configuration file when it starts: the options changed above come back.
  ASSERT_EQ(tool({"start"}).status, 0);
  const CommandResult restarted = sim("driver");
  ExpectContains(restarted.out, "configuration: read (filter on, capture on, notify handle on)");
  ExpectContains(restarted.out, "hubs accepted: yes");
  ExpectContains(restarted.out, "files and cache mode: 3");
  ASSERT_EQ(tool({"stop"}).status, 0);

  const CommandResult uninstall = tool({"uninstall"});
  ASSERT_EQ(uninstall.status, 0) << uninstall.err;
  EXPECT_EQ(service_row(), "");
}

TEST_F(ToolDriver, FailuresGiveTheCodeAndTheLibrarysText) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const Case before_install[] = {
      {{"start"}, "1060: Serwis nie jest zainstalowany\n"},
      {{"status"}, "1060: Serwis nie jest zainstalowany\n"},
      {{"uninstall"}, "1060: Serwis nie jest zainstalowany\n"},
      {{"stop"}, "1060: Serwis nie jest zainstalowany\n"},
      {{"hubs", "on"}, "2: Driver not open; err=0x00000002\n"},
      {{"cache", "0"}, "2: Driver not open; err=0x00000002\n"},
  };
  for (const Case& c : before_install) {
    const CommandResult r = tool(c.args);
    EXPECT_EQ(r.status, 1) << c.args[0];
    EXPECT_EQ(r.err, c.err) << c.args[0];
  }
  ASSERT_EQ(tool({"install"}).status, 0);
  const CommandResult twice = tool({"install"});
  EXPECT_EQ(twice.status, 1);
  EXPECT_EQ(twice.err, "1073: Serwis o tej nazwie już istnieje\n");

  // A configuration file that does not validate is shown as such, after what could be read.
  testing_support::write_native_file(config_path(), text::to_utf16le(u"{\"filter\":\"yes\"}"));
  const CommandResult status = tool({"status"});
  EXPECT_EQ(status.status, 1);
  ExpectContains(status.out, "state: STOPPED (1)\n");
  EXPECT_EQ(status.err, "592: Bad data in config file; err=0x00000250\n");
  ASSERT_EQ(tool({"uninstall"}).status, 0);
}

TEST_F(ToolDriver, WrongArgumentsAreRefused) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {"restart"}, {"hubs"}, {"hubs", "yes"}, {"cache", "4"}, {"cache", "-1"}, {"cache", "12"}, {"status", "x"}}) {
    const CommandResult r = tool(args);
    EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]);
    ExpectContains(r.err, "usage: driver");
  }
}

}  // namespace
