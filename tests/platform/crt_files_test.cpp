// The C run-time's file calls through os::, with the errno values of Microsoft's run-time.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/handle.h"
#include "platform/os.h"
#include "support/sim_root.h"

namespace {

class CrtFiles : public testing_support::FreshHost {
 protected:
  // _wsopen_s's result: the errno value, with the descriptor owned by `fd`.
  errno_t open(const std::string& name, int oflag, int pmode, os::unique_fd& fd) {
    int raw = 123;
    const errno_t error = os::_wsopen_s(&raw, win_path(name).c_str(), oflag, _SH_DENYNO, pmode);
    if (error != 0) {
      EXPECT_EQ(-1, raw);
    }
    fd.reset(raw);
    return error;
  }
};

constexpr int kCreateRw = _O_BINARY | _O_RDWR | _O_CREAT | _O_TRUNC | _O_NOINHERIT;

}  // namespace

TEST_F(CrtFiles, WriteWholeFileAsTheProcessDoes) {
  // The folder walk of the process: every prefix, existing ones included.
  EXPECT_EQ(0, os::_wmkdir(win_path("a").c_str()));
  EXPECT_EQ(-1, os::_wmkdir(win_path("a").c_str()));
  EXPECT_EQ(EEXIST, errno);
  EXPECT_EQ(-1, os::_wmkdir(win_path("x/y").c_str()));
  EXPECT_EQ(ENOENT, errno);

  os::unique_fd fd;
  ASSERT_EQ(0, open("a/f.bin", kCreateRw, _S_IREAD | _S_IWRITE, fd));
  EXPECT_EQ(4, os::_write(fd.get(), "data", 4));
  EXPECT_EQ(4, os::_filelength(fd.get()));
  EXPECT_EQ(0, os::_close(fd.release()));

  ASSERT_EQ(0, open("a/f.bin", _O_BINARY | _O_RDONLY, 0, fd));
  char buffer[8] = {};
  EXPECT_EQ(4, os::_read(fd.get(), buffer, sizeof buffer));
  EXPECT_EQ("data", std::string(buffer, 4));
  EXPECT_EQ(0, os::_read(fd.get(), buffer, sizeof buffer));
}

TEST_F(CrtFiles, AFileCreatedWithoutWritePermissionIsReadOnly) {
  os::unique_fd fd;
  ASSERT_EQ(0, open("ro.bin", kCreateRw, _S_IREAD, fd));
  EXPECT_EQ(2, os::_write(fd.get(), "ok", 2));  // the creating descriptor writes anyway
  fd.reset();
  EXPECT_TRUE(os::GetFileAttributesW(win_path("ro.bin").c_str()) & FILE_ATTRIBUTE_READONLY);

#ifndef _WIN32
  // Wine run as root lets root write it; Windows and the simulated host do not.
  EXPECT_EQ(EACCES, open("ro.bin", kCreateRw, _S_IREAD | _S_IWRITE, fd));
  EXPECT_EQ(EACCES, errno);
#endif
  EXPECT_EQ(0, open("ro.bin", _O_BINARY | _O_RDONLY, 0, fd));  // reading is fine
  fd.reset();

  ASSERT_EQ(0, os::_wchmod(win_path("ro.bin").c_str(), _S_IREAD | _S_IWRITE));
  EXPECT_FALSE(os::GetFileAttributesW(win_path("ro.bin").c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(0, open("ro.bin", kCreateRw, _S_IREAD | _S_IWRITE, fd));
  fd.reset();
  ASSERT_EQ(0, os::_wchmod(win_path("ro.bin").c_str(), _S_IREAD));
  EXPECT_TRUE(os::GetFileAttributesW(win_path("ro.bin").c_str()) & FILE_ATTRIBUTE_READONLY);
  ASSERT_EQ(0, os::_wchmod(win_path("ro.bin").c_str(), _S_IWRITE));
}

TEST_F(CrtFiles, ErrnoValuesOfFailedOpens) {
  os::unique_fd fd;
  EXPECT_EQ(ENOENT, open("missing.bin", _O_BINARY | _O_RDONLY, 0, fd));
  EXPECT_EQ(ENOENT, open("no-folder/new.bin", kCreateRw, _S_IWRITE, fd));
  ASSERT_EQ(0, open("once.bin", kCreateRw, _S_IREAD | _S_IWRITE, fd));
  fd.reset();
  EXPECT_EQ(EEXIST, open("once.bin", _O_BINARY | _O_RDWR | _O_CREAT | _O_EXCL, _S_IREAD | _S_IWRITE, fd));
  ASSERT_EQ(0, os::_wmkdir(win_path("folder").c_str()));
  EXPECT_EQ(EACCES, open("folder", _O_BINARY | _O_RDONLY, 0, fd));
  EXPECT_EQ(-1, os::_wchmod(win_path("missing.bin").c_str(), _S_IWRITE));
  EXPECT_EQ(ENOENT, errno);
}

#ifndef _WIN32
// Microsoft's run-time sends these to its invalid-parameter handler; the simulated host fails them.
TEST_F(CrtFiles, BadDescriptorsFailCleanly) {
  EXPECT_EQ(-1, os::_filelength(-1));
  EXPECT_EQ(EBADF, errno);
  EXPECT_EQ(-1, os::_close(-1));
  EXPECT_EQ(EBADF, errno);
}
#endif
