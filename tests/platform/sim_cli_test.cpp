// vostusb-sim, run as a real process against the test's machine.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/handle.h"
#include "platform/os.h"
#include "platform/sim/host.h"
#include "support/run_command.h"
#include "support/sim_root.h"

namespace {

class SimCli : public testing_support::FreshHost {
 protected:
  testing_support::CommandResult sim(const std::vector<std::string>& args) {
    return testing_support::run_built("vostusb-sim", args, native_dir());
  }

  // The value's bytes as the product reads them; "<status>" when it cannot.
  static std::string query(const char16_t* subkey, const char16_t* name, DWORD* type = nullptr) {
    os::unique_hkey key;
    LSTATUS status = os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, KEY_READ, key.put());
    std::string data(256, '\0');
    DWORD size = 256;
    if (status == ERROR_SUCCESS) {
      status = os::RegQueryValueExW(key.get(), name, nullptr, type, reinterpret_cast<BYTE*>(data.data()), &size);
    }
    if (status != ERROR_SUCCESS) return "<" + std::to_string(status) + ">";
    data.resize(size);
    return data;
  }
};

std::string utf16(std::u16string_view text) { return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2); }

}  // namespace

TEST_F(SimCli, HelpAndRoot) {
  const auto help = sim({"--help"});
  EXPECT_EQ(0, help.status);
  EXPECT_NE(std::string::npos, help.out.find("usage: vostusb-sim"));
  const auto root = sim({"root"});
  EXPECT_EQ(0, root.status);
  EXPECT_EQ(os::sim::sim_root() + "\n", root.out);
}

TEST_F(SimCli, RegistryIsTheOneTheProductSees) {
  ASSERT_EQ(0, sim({"reg", "set", "HKLM\\Software\\kavenor", "RootPath", "sz", "C:\\Program Files\\kavenor"}).status);
  ASSERT_EQ(0, sim({"reg", "set", "HKEY_LOCAL_MACHINE\\software\\KAVENOR", "ln", "dword", "0x2a"}).status);
  ASSERT_EQ(0, sim({"reg", "set", "hklm\\Software\\kavenor", "", "expand_sz", "%SystemRoot%"}).status);
  DWORD type = 0;
  EXPECT_EQ(utf16(std::u16string_view(u"C:\\Program Files\\kavenor", 25)), query(u"Software\\kavenor", u"RootPath", &type));
  EXPECT_EQ(REG_SZ, type);
  EXPECT_EQ(std::string("\x2a\0\0\0", 4), query(u"Software\\kavenor", u"ln", &type));
  EXPECT_EQ(REG_DWORD, type);

  // A string the product stores without its terminator.
  {
    os::unique_hkey key;
    ASSERT_EQ(ERROR_SUCCESS, os::RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\kavenor\\Sub", 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, key.put(), nullptr));
    const std::u16string text = u"Łódź";
    ASSERT_EQ(ERROR_SUCCESS, os::RegSetValueExW(key.get(), u"Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()), 8));
  }
  const auto shown = sim({"reg", "show", "HKLM\\Software\\kavenor"});
  ASSERT_EQ(0, shown.status) << shown.err;
  EXPECT_EQ(
      "HKEY_LOCAL_MACHINE\\Software\\kavenor\n"
      "    RootPath    REG_SZ    C:\\Program Files\\kavenor\n"
      "    ln    REG_DWORD    0x0000002a (42)\n"
      "    (Default)    REG_EXPAND_SZ    %SystemRoot%\n"
      "\n"
      "HKEY_LOCAL_MACHINE\\Software\\kavenor\\Sub\n"
      "    Bare    REG_SZ    \xC5\x81\xC3\xB3" "d\xC5\xBA   (stored without terminator)\n"
      "\n",
      shown.out);
}

TEST_F(SimCli, RegistryDeletesValuesAndWholeKeys) {
  ASSERT_EQ(0, sim({"reg", "set", "HKLM\\Software\\kavenor\\a\\b", "v", "dword", "1"}).status);
  ASSERT_EQ(0, sim({"reg", "set", "HKLM\\Software\\kavenor", "w", "dword", "2"}).status);
  EXPECT_EQ(0, sim({"reg", "delete", "HKLM\\Software\\kavenor", "W"}).status);
  EXPECT_EQ("<2>", query(u"Software\\kavenor", u"w"));
  EXPECT_EQ(1, sim({"reg", "delete", "HKLM\\Software\\kavenor", "w"}).status);
  EXPECT_EQ(0, sim({"reg", "delete", "HKLM\\Software\\kavenor"}).status);
  os::unique_hkey key;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\kavenor", 0, KEY_READ, key.put()));
  EXPECT_EQ(ERROR_SUCCESS, os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software", 0, KEY_READ, key.put()));
}

TEST_F(SimCli, BadInputGivesOneLineAndAFailingStatus) {
  const std::vector<std::vector<std::string>> cases = {
      {"bogus"},
      {"reg"},
      {"reg", "show", "HKCU\\Software"},
      {"reg", "show", "HKLM\\Missing"},
      {"reg", "set", "HKLM\\Software\\x", "v", "dword", "12x"},
      {"reg", "set", "HKLM\\Software\\x", "v", "dword", "4294967296"},
      {"reg", "set", "HKLM\\Software\\x", "v", "binary", "00"},
      {"reg", "set", "HKLM", "v", "sz", "x"},
      {"reg", "delete", "HKLM"},
      {"boot", "--uptime", "-5"},
      {"log", "--bogus"},
      {"root", "extra"},
  };
  for (const auto& args : cases) {
    const auto result = sim(args);
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_NE(0, result.status) << joined;
    EXPECT_EQ("", result.out) << joined;
    EXPECT_EQ(0u, result.err.rfind("vostusb-sim: ", 0)) << joined << result.err;
    EXPECT_EQ(1, std::count(result.err.begin(), result.err.end(), '\n')) << joined << result.err;
  }
  EXPECT_NE(0, sim({}).status);
  EXPECT_EQ("<2>", query(u"Software\\x", u"v"));  // nothing was written by the refused commands
}

TEST_F(SimCli, LogPrintsTheDebuggerOutput) {
  EXPECT_EQ("", sim({"log"}).out);
  os::OutputDebugStringW(u"first line\r\n");
  os::OutputDebugStringW(u"drugi wiersz ąę\r\n");
  const auto result = sim({"log"});
  EXPECT_EQ(0, result.status);
  EXPECT_EQ("first line\r\ndrugi wiersz \xC4\x85\xC4\x99\r\n", result.out);
}

TEST_F(SimCli, LogFollowShowsNewLinesUntilInterrupted) {
  os::OutputDebugStringW(u"before\r\n");
  int out[2];
  ASSERT_EQ(0, ::pipe2(out, O_CLOEXEC));
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    const std::string program = std::string(VOSTUSB_BIN_DIR) + "/vostusb-sim";
    ::execl(program.c_str(), program.c_str(), "log", "--follow", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(out[1]);
  std::string seen;
  const auto read_until = [&](const std::string& wanted) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (seen.find(wanted) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd p{out[0], POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char buffer[256];
      const ssize_t n = ::read(out[0], buffer, sizeof buffer);
      if (n <= 0) break;
      seen.append(buffer, static_cast<std::size_t>(n));
    }
    return seen.find(wanted) != std::string::npos;
  };
  EXPECT_TRUE(read_until("before\r\n"));
  os::OutputDebugStringW(u"after\r\n");
  EXPECT_TRUE(read_until("after\r\n"));
  ::kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
  ::close(out[0]);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(0, WEXITSTATUS(status));
  EXPECT_EQ("before\r\nafter\r\n", seen);
}

TEST_F(SimCli, BootSetsTheMachinesUptime) {
  ASSERT_EQ(0, sim({"boot", "--uptime", "600000"}).status);
  EXPECT_GE(os::GetTickCount(), 600000u);
  ASSERT_EQ(0, sim({"boot"}).status);
  EXPECT_LT(os::GetTickCount(), 5000u);
}

TEST_F(SimCli, ResetDeletesTheMachineButNothingElse) {
  ASSERT_EQ(0, sim({"reg", "set", "HKLM\\Software\\kavenor", "v", "dword", "1"}).status);
  os::OutputDebugStringW(u"line\r\n");
  const std::string root = os::sim::sim_root();
  const auto result = sim({"reset"});
  EXPECT_EQ(0, result.status) << result.err;
  EXPECT_FALSE(std::filesystem::exists(root));
  EXPECT_EQ("<2>", query(u"Software\\kavenor", u"v"));  // a new, empty machine

  testing_support::write_native_file(native_dir() + "/home/notes.txt", "keep me");
  setenv("VOSTUSB_SIM_ROOT", (native_dir() + "/home").c_str(), 1);
  const auto refused = sim({"reset"});
  EXPECT_EQ(1, refused.status);
  EXPECT_EQ("keep me", testing_support::read_native_file(native_dir() + "/home/notes.txt"));
}
