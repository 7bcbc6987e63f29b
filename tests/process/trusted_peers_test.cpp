#include "process/trusted_peers.h"

#include <gtest/gtest.h>

#include "support/sim_root.h"

#ifndef _WIN32
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

TEST(FullPathForm, ResolvesSeparatorsAndDotsOfFullPathsOnly) {
  struct Case {
    std::u16string path;
    std::u16string form;
  };
  const Case cases[] = {
      {u"C:\\a\\b", u"C:\\a\\b"},
      {u"c:/a//b/", u"c:\\a\\b"},
      {u"Z:\\a\\.\\b\\..\\c", u"Z:\\a\\c"},
      {u"Z:\\a\\..\\..\\b", u""},  // above the drive's root
      {u"Z:\\", u"Z:"},
      {u"\\\\srv\\share\\x", u"\\\\srv\\share\\x"},
      {u"a\\b", u""},
      {u"\\a\\b", u""},
      {u"C:a\\b", u""},
      {u"1:\\a", u""},
      {u"", u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.form, full_path_form(c.path)) << std::string(c.path.begin(), c.path.end());
  }
}

TEST(ImageInFolder, OnlyAnImageDirectlyInTheFolderWithoutCase) {
  struct Case {
    std::u16string image;
    std::u16string folder;
    bool inside;
  };
  const Case cases[] = {
      {u"Z:\\i\\bin\\kavenormon.exe", u"Z:\\i\\bin", true},
      {u"z:\\I\\BIN\\kavenormon.exe", u"Z:\\i\\bin\\", true},
      {u"Z:\\i\\bin\\kavenormon.exe", u"Z:/build/bin/../../i/bin", true},
      {u"Z:\\\u0141\\k.exe", u"Z:\\\u0142", true},
      {u"Z:\\i\\bin\\sub\\kavenormon.exe", u"Z:\\i\\bin", false},
      {u"Z:\\i\\bin2\\kavenormon.exe", u"Z:\\i\\bin", false},
      {u"Z:\\i\\binkavenormon.exe", u"Z:\\i\\bin", false},
      {u"Z:\\i\\bin\\..\\kavenormon.exe", u"Z:\\i\\bin", false},
      {u"Z:\\i\\bin", u"Z:\\i\\bin", false},
      {u"Z:\\i\\other\\kavenormon.exe", u"Z:\\i\\bin", false},
      {u"kavenormon.exe", u"Z:\\i\\bin", false},  // a snapshot's bare name
      {u"System", u"Z:\\i\\bin", false},
      {u"Z:\\i\\bin\\kavenormon.exe", u"", false},  // no installation folder
      {u"Z:\\i\\bin\\kavenormon.exe", u"bin", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.inside, image_in_folder(c.image, c.folder))
        << std::string(c.image.begin(), c.image.end()) << " in " << std::string(c.folder.begin(), c.folder.end());
  }
}

class PrivilegedProcess : public testing_support::FreshHost {};

// The tests run as the machine's administrator (root, or Wine's elevated user).
TEST_F(PrivilegedProcess, TheAdministratorsProcessIsPrivilegedAndNoProcessIsNot) {
  EXPECT_TRUE(is_privileged_process(os::GetCurrentProcessId()));
  EXPECT_FALSE(is_privileged_process(0));
  EXPECT_FALSE(is_privileged_process(0x7FFFFFF0));
}

#ifndef _WIN32
TEST_F(PrivilegedProcess, AStandardUsersProcessIsNot) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
  const passwd* nobody = ::getpwnam("nobody");
  if (nobody == nullptr) GTEST_SKIP() << "no user nobody";
  const uid_t uid = nobody->pw_uid;
  const gid_t gid = nobody->pw_gid;
  int ready[2];
  ASSERT_EQ(0, ::pipe(ready));
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(ready[0]);
    if (::setresgid(gid, gid, gid) != 0 || ::setresuid(uid, uid, uid) != 0) ::_exit(10);
    const char done = 1;
    if (::write(ready[1], &done, 1) != 1) ::_exit(11);
    ::pause();
    ::_exit(0);
  }
  ASSERT_GT(child, 0);
  ::close(ready[1]);
  char done = 0;
  const bool dropped = ::read(ready[0], &done, 1) == 1;
  ::close(ready[0]);
  const bool privileged = is_privileged_process(static_cast<DWORD>(child));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ASSERT_TRUE(dropped);
  EXPECT_FALSE(privileged);
}
#endif

}  // namespace
