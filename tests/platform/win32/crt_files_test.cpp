#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/handle.h"
#include "platform/os.h"
#include "support/sim_root.h"

namespace {

class Win32CrtFiles : public testing_support::FreshHost {};

TEST_F(Win32CrtFiles, OpenWriteReadOnANameOutsideTheAnsiCodePage) {
  ASSERT_EQ(os::_wmkdir(win_path("gęś").c_str()), 0);
  const std::u16string path = win_path("gęś") + u"\\żółw.bin";
  os::unique_fd fd;
  ASSERT_EQ(os::_wsopen_s(fd.put(), path.c_str(), _O_CREAT | _O_RDWR | _O_BINARY, _SH_DENYNO, _S_IREAD | _S_IWRITE), 0);
  ASSERT_EQ(os::_write(fd.get(), "a\nb\0c", 5), 5);
  EXPECT_EQ(os::_filelength(fd.get()), 5);
  fd.reset();

  ASSERT_EQ(os::_wsopen_s(fd.put(), path.c_str(), _O_RDONLY | _O_BINARY, _SH_DENYNO, 0), 0);
  char buffer[16] = {};
  ASSERT_EQ(os::_read(fd.get(), buffer, sizeof(buffer)), 5);
  EXPECT_EQ(std::string(buffer, 5), std::string("a\nb\0c", 5));
  EXPECT_EQ(os::_close(fd.release()), 0);

  ASSERT_EQ(os::_wchmod(path.c_str(), _S_IREAD), 0);
  EXPECT_NE(os::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  ASSERT_EQ(os::_wchmod(path.c_str(), _S_IREAD | _S_IWRITE), 0);
}

TEST_F(Win32CrtFiles, OpeningAMissingFileFailsWithTheRunTimesError) {
  int fd = 12345;
  EXPECT_EQ(os::_wsopen_s(&fd, win_path("missing").c_str(), _O_RDONLY, _SH_DENYNO, 0), ENOENT);
  EXPECT_EQ(fd, -1);
}

// As the service reads a variable: a buffer of 1024 characters, a missing variable leaving it empty.
TEST(Win32Environment, GetenvFillsTheBufferAndCountsTheTerminator) {
  char16_t value[1024] = {};
  std::size_t required = 0;
  ASSERT_EQ(os::_wgetenv_s(&required, value, 1024, u"SystemRoot"), 0);
  const std::u16string text = value;
  EXPECT_EQ(required, text.size() + 1);
  EXPECT_TRUE(text.ends_with(u"\\windows") || text.ends_with(u"\\WINDOWS")) << testing::PrintToString(text);

  char16_t small[2] = {u'x', u'x'};
  std::size_t got = 0;
  EXPECT_EQ(os::_wgetenv_s(&got, small, 2, u"SystemRoot"), ERANGE);
  EXPECT_EQ(got, required);

  // Microsoft's run-time returns 0 here and Wine's EINVAL; both leave an empty buffer.
  small[0] = u'x';
  os::_wgetenv_s(&got, small, 2, u"VOSTUSB_SURELY_NOT_SET");
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(small[0], u'\0');
}

}  // namespace
