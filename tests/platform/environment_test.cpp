// The environment, the module path and the command line through os::.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/os.h"
#include "support/run_command.h"
#include "support/sim_root.h"
#include "text/chars.h"
#include "text/utf.h"

#ifndef _WIN32
#include <unistd.h>

#include "platform/sim/host.h"
#endif

namespace {

void set_variable(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value);
#else
  setenv(name, value, 1);
#endif
}

void unset_variable(const char* name) {
#ifdef _WIN32
  _putenv_s(name, "");
#else
  unsetenv(name);
#endif
}

std::u16string get_variable(const char16_t* name) {
  char16_t buffer[1024];
  std::size_t required = 0;
  if (os::_wgetenv_s(&required, buffer, 1024, name) != 0) return u"<error>";
  return buffer;
}

class Environment : public testing_support::FreshHost {};

}  // namespace

TEST_F(Environment, NamesCompareWithoutCase) {
  set_variable("VOSTUSB_TEST_VALUE", "C:\\Data\\x");
  EXPECT_EQ(u"C:\\Data\\x", get_variable(u"vostusb_test_value"));
  EXPECT_EQ(u"C:\\Data\\x", get_variable(u"VOSTUSB_TEST_VALUE"));
  unset_variable("VOSTUSB_TEST_VALUE");
}

TEST_F(Environment, BufferSizeRules) {
  set_variable("VOSTUSB_TEST_VALUE", "12345");
  std::size_t required = 99;
  const errno_t query = os::_wgetenv_s(&required, nullptr, 0, u"VOSTUSB_TEST_VALUE");  // a size query
  EXPECT_EQ(6u, required);
#ifndef _WIN32
  EXPECT_EQ(0, query);  // Microsoft's documented result; the older msvcrt.dll (and Wine) give ERANGE
#else
  (void)query;
#endif

  char16_t small[6] = {u'x', u'x', u'x', u'x', u'x', u'x'};
  required = 0;
  EXPECT_EQ(ERANGE, os::_wgetenv_s(&required, small, 5, u"VOSTUSB_TEST_VALUE"));
  EXPECT_EQ(6u, required);
  EXPECT_EQ(0, os::_wgetenv_s(&required, small, 6, u"VOSTUSB_TEST_VALUE"));
  EXPECT_EQ(u"12345", std::u16string(small));

  unset_variable("VOSTUSB_TEST_VALUE");
  required = 99;
  small[0] = u'x';
  const errno_t missing = os::_wgetenv_s(&required, small, 6, u"VOSTUSB_TEST_VALUE");  // missing: empty
  EXPECT_EQ(0u, required);
#ifndef _WIN32
  EXPECT_EQ(0, missing);  // Microsoft's documented result; the older msvcrt.dll (and Wine) give EINVAL
#else
  (void)missing;
#endif
  EXPECT_EQ(0, small[0]);
}

TEST_F(Environment, WindowsFoldersAreAlwaysThere) {
#ifndef _WIN32
  // A Linux environment lacks them; the simulated machine supplies Windows' values.
  unset_variable("ALLUSERSPROFILE");
  unset_variable("SystemRoot");
#endif
  EXPECT_TRUE(text::equals_nocase(u"C:\\ProgramData", get_variable(u"ALLUSERSPROFILE")));
  EXPECT_TRUE(text::equals_nocase(u"C:\\Windows", get_variable(u"SYSTEMROOT")));
}

TEST_F(Environment, ModuleFileNameAndItsTruncation) {
  char16_t path[1024];
  const DWORD length = os::GetModuleFileNameW(nullptr, path, 1024);
  ASSERT_GT(length, 5u);
  const std::u16string full(path, length);
  EXPECT_EQ(0, path[length]);
  EXPECT_NE(std::u16string::npos, full.find(u"platform_tests"));

  char16_t cut[6];
  os::SetLastError(0);
  EXPECT_EQ(6u, os::GetModuleFileNameW(nullptr, cut, 6));
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, os::GetLastError());
  EXPECT_EQ(full.substr(0, 5), std::u16string(cut, 5));
#ifndef _WIN32
  EXPECT_EQ(0, cut[5]);  // terminated since Windows Vista; Windows XP and Wine leave it open
  char linux_path[1024] = {};
  ASSERT_GT(readlink("/proc/self/exe", linux_path, sizeof linux_path - 1), 0);
  EXPECT_EQ(os::sim::to_windows_path(linux_path), full);
  EXPECT_EQ(u"Z:\\", full.substr(0, 3));
#endif
}

#ifndef _WIN32
TEST_F(Environment, CommandLineKeepsArgumentsAsTheyStand) {
  const auto result = testing_support::run_built("platform_helper", {"cmdline", "/gud:\"C:\\a b\\x\"", "two words"}, native_dir());
  ASSERT_EQ(0, result.status) << result.err;
  const std::string program = text::to_utf8(os::sim::to_windows_path(std::string(VOSTUSB_BIN_DIR) + "/platform_helper"));
  EXPECT_EQ("\"" + program + "\" cmdline /gud:\"C:\\a b\\x\" two words", result.out);
}

TEST_F(Environment, CommandLineHandedOverForThisProcessOnly) {
  const std::string helper = std::string(VOSTUSB_BIN_DIR) + "/platform_helper";
  const std::string out = native_dir() + "/out.txt";
  // "$$" is the shell's pid, which the helper keeps through exec.
  const std::string mine = "VOSTUSB_SIM_CMDLINE=\"$$:C:\\\\prog.exe /start\" exec '" + helper + "' cmdline >'" + out + "'";
  ASSERT_EQ(0, std::system(mine.c_str()));
  EXPECT_EQ("C:\\prog.exe /start", testing_support::read_native_file(out));

  const std::string inherited = "VOSTUSB_SIM_CMDLINE=\"1:C:\\\\prog.exe /start\" exec '" + helper + "' cmdline >'" + out + "'";
  ASSERT_EQ(0, std::system(inherited.c_str()));
  EXPECT_EQ(std::string::npos, testing_support::read_native_file(out).find("/start"));
}
#endif
