#include "support/debug_output.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/handle.h"
#include "platform/os.h"
#include "support/sim_root.h"
#include "text/format.h"
#include "text/utf.h"

namespace testing_support {
namespace {

class DebugOutputTest : public FreshHost {
 protected:
  // Starts debug-writer, which writes `count` lines "<prefix> <n>"; returns its process.
  static os::unique_handle start_writer(int count, const std::u16string& prefix) {
    const std::u16string program = bin_path(std::string("debug-writer") + VOSTUSB_EXE_SUFFIX);
    const std::u16string parameters = text::format(u"%i %s", count, prefix);
    os::SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_HIDE;
    EXPECT_TRUE(os::ShellExecuteExW(&info)) << "error " << os::GetLastError();
    return os::unique_handle(info.hProcess);
  }

  static void expect_success(const os::unique_handle& process) {
    ASSERT_TRUE(process);
    ASSERT_EQ(os::WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
    DWORD code = 1;
    ASSERT_TRUE(os::GetExitCodeProcess(process.get(), &code));
    EXPECT_EQ(code, 0u);
  }

  static std::vector<std::u16string> numbered(const std::u16string& prefix, int count) {
    std::vector<std::u16string> lines;
    for (int i = 1; i <= count; ++i) lines.push_back(text::format(u"%s %i", prefix, i));
    return lines;
  }
};

TEST_F(DebugOutputTest, AnotherProcessLinesArriveCompleteAndInOrder) {
  // Written before capturing starts: not part of this capture.
  os::OutputDebugStringW(u"written before the capture\r\n");
  DebugOutput output(native_dir());
  ASSERT_EQ(output.error(), "");

  expect_success(start_writer(300, u"writer"));

  EXPECT_EQ(output.stop(), numbered(u"writer", 300));
}

TEST_F(DebugOutputTest, TwoWritersAtOnceLoseNothingAndKeepTheirOwnOrder) {
  DebugOutput output(native_dir());
  ASSERT_EQ(output.error(), "");

  const auto first = start_writer(200, u"first");
  const auto second = start_writer(200, u"second");
  expect_success(first);
  expect_success(second);

  std::vector<std::u16string> from_first;
  std::vector<std::u16string> from_second;
  for (const auto& line : output.stop()) {
    (line.starts_with(u"first ") ? from_first : from_second).push_back(line);
  }
  EXPECT_EQ(from_first, numbered(u"first", 200));
  EXPECT_EQ(from_second, numbered(u"second", 200));
}

TEST_F(DebugOutputTest, WaitForLineSeesLinesWhileCaptureRuns) {
  DebugOutput output(native_dir());
  ASSERT_EQ(output.error(), "");

  const auto writer = start_writer(5, u"waited");
  EXPECT_TRUE(output.wait_for_line(u"waited 5"));
  EXPECT_FALSE(output.wait_for_line(u"waited 6", std::chrono::milliseconds(200)));
  expect_success(writer);
}

TEST_F(DebugOutputTest, EachTextIsALineAndLineEndsInsideSplitIt) {
  DebugOutput output(native_dir());
  ASSERT_EQ(output.error(), "");

  os::OutputDebugStringW(u"one\r\ntwo\n");
  os::OutputDebugStringW(u"three 100% ");
  os::OutputDebugStringW(u"joined\r\n");
  os::OutputDebugStringW(u"\r\n");
  os::OutputDebugStringW(u"no line end");

  EXPECT_EQ(output.stop(),
            (std::vector<std::u16string>{u"one", u"two", u"three 100% ", u"joined", u"", u"no line end"}));
}

TEST(SplitLines, LineEndsAndEmptyLines) {
  EXPECT_EQ(split_lines(u""), std::vector<std::u16string>{});
  EXPECT_EQ(split_lines(u"a"), std::vector<std::u16string>{u"a"});
  EXPECT_EQ(split_lines(u"a\r\n\r\nb\n"), (std::vector<std::u16string>{u"a", u"", u"b"}));
  EXPECT_EQ(split_lines(u"a\rb\r\n"), (std::vector<std::u16string>{u"a\rb"}));
}

#ifdef _WIN32
// One viewer per machine: a second one fails clearly instead of stealing half the texts.
TEST_F(DebugOutputTest, ASecondViewerIsRefused) {
  DebugOutput first(native_dir());
  ASSERT_EQ(first.error(), "");
  DebugOutput second(native_dir());
  EXPECT_NE(second.error().find("another debug output viewer"), std::string::npos) << second.error();
}
#endif

}  // namespace
}  // namespace testing_support
