// The simulated machine's root and its mapping of Windows paths onto Linux.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "platform/handle.h"
#include "platform/os.h"
#include "platform/sim/host.h"
#include "support/sim_root.h"
#include "text/utf.h"

namespace {

class PathMapping : public testing_support::FreshHost {};

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

TEST_F(PathMapping, RootIsCreatedOnFirstUseWithTheSystemDrive) {
  const std::string expected = native_dir() + "/sim";
  EXPECT_FALSE(exists(expected));
  EXPECT_EQ(expected, os::sim::sim_root());
  EXPECT_TRUE(exists(expected + "/drive_c/ProgramData"));
  EXPECT_TRUE(exists(expected + "/drive_c/Windows"));
  EXPECT_TRUE(exists(expected + "/.vostusb-sim"));

  // A trailing slash or a ".." does not make another machine.
  setenv("VOSTUSB_SIM_ROOT", (native_dir() + "/x/../sim/").c_str(), 1);
  EXPECT_EQ(expected, os::sim::sim_root());
}

TEST_F(PathMapping, AnExistingFolderIsNotMarkedAsAMachine) {
  testing_support::write_native_file(native_dir() + "/home/notes.txt", "mine");
  setenv("VOSTUSB_SIM_ROOT", (native_dir() + "/home").c_str(), 1);
  os::sim::sim_root();
  EXPECT_FALSE(exists(native_dir() + "/home/.vostusb-sim"));  // so the sim CLI will not reset it
}

TEST_F(PathMapping, WindowsToLinux) {
  const std::string root = os::sim::sim_root();
  struct Case {
    const char16_t* windows;
    std::string linux_path;
  };
  const Case cases[] = {
      {u"Z:\\home\\a b\\c.txt", "/home/a b/c.txt"},
      {u"z:/home/x", "/home/x"},
      {u"Z:\\", "/"},
      {u"Z:", "/"},
      {u"\\etc\\hosts", "/etc/hosts"},
      {u"C:\\ProgramData\\kavenor", root + "/drive_c/ProgramData/kavenor"},
      {u"c:/Windows/", root + "/drive_c/Windows/"},
      {u"C:\\", root + "/drive_c"},
      {u"C:", root + "/drive_c"},
      {u"C:relative", root + "/drive_c/relative"},
      {u"D:\\data", root + "/drive_d/data"},
      {u"\\\\?\\C:\\long", root + "/drive_c/long"},
      {u"relative\\x", "relative/x"},
      {u"C:\\Zażółć", root + "/drive_c/Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.linux_path, os::sim::to_linux_path(c.windows)) << c.linux_path;
}

TEST_F(PathMapping, LinuxToWindows) {
  const std::string root = os::sim::sim_root();
  std::u16string root_on_z = u"Z:" + text::from_utf8(root);
  for (char16_t& c : root_on_z) {
    if (c == u'/') c = u'\\';
  }
  struct Case {
    std::string linux_path;
    std::u16string windows;
  };
  const Case cases[] = {
      {"/home/a/b", u"Z:\\home\\a\\b"},
      {"/", u"Z:\\"},
      {root + "/drive_c/ProgramData/x", u"C:\\ProgramData\\x"},
      {root + "/drive_c", u"C:\\"},
      {root + "/drive_d/", u"D:\\"},
      {root + "/drive_cx/y", root_on_z + u"\\drive_cx\\y"},  // not a drive: stays on Z:
      {"relative/x", u"relative\\x"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.windows, os::sim::to_windows_path(c.linux_path)) << c.linux_path;
}

TEST_F(PathMapping, FilesOnDriveCLiveUnderTheRoot) {
  ASSERT_TRUE(os::CreateDirectoryW(u"C:\\ProgramData\\kavenor", nullptr));
  os::unique_hfile file(os::CreateFileW(u"C:\\ProgramData\\kavenor\\x.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  ASSERT_TRUE(file);
  DWORD written = 0;
  ASSERT_TRUE(os::WriteFile(file.get(), "abc", 3, &written, nullptr));
  file.reset();
  EXPECT_EQ("abc", testing_support::read_native_file(os::sim::sim_root() + "/drive_c/ProgramData/kavenor/x.txt"));
  // The drive's root lists no "." and "..".
  os::WIN32_FIND_DATAW data{};
  os::unique_hfind search(os::FindFirstFileW(u"C:\\*", &data));
  ASSERT_TRUE(search);
  do {
    EXPECT_NE(u'.', data.cFileName[0]) << "unexpected entry";
  } while (os::FindNextFileW(search.get(), &data));
}
