// Debugger output on the simulated host: the lines in <sim root>/debug.log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/os.h"
#include "platform/sim/host.h"
#include "support/run_command.h"
#include "support/sim_root.h"

namespace {

class DebugOutput : public testing_support::FreshHost {
 protected:
  std::string log() const { return testing_support::read_native_file(os::sim::sim_root() + "/debug.log"); }
};

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

TEST_F(DebugOutput, EachCallIsOneUtf8Line) {
  os::SetLastError(1234);
  os::OutputDebugStringW(u"[ODS][00001a2b]  Zażółć gęślą jaźń:7 -> 100_ done\r\n");
  os::OutputDebugStringW(u"no line end");
  os::OutputDebugStringW(nullptr);
  os::OutputDebugStringW(u"pair \U0001F600 and lone \xD800!\r\n");
  EXPECT_EQ(1234u, os::GetLastError());
  EXPECT_EQ(
      "[ODS][00001a2b]  Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87 g\xC4\x99\xC5\x9Bl\xC4\x85 ja\xC5\xBA\xC5\x84:7 -> 100_ done\r\n"
      "no line end\n"
      "pair \xF0\x9F\x98\x80 and lone \xEF\xBF\xBD!\r\n",
      log());
}

TEST_F(DebugOutput, LinesOfSeveralProcessesAndThreadsNeverMix) {
  constexpr int kPerThread = 300;  // the helper writes from two threads
  std::vector<std::thread> writers;
  for (int p = 0; p < 2; ++p) {
    writers.emplace_back([&, p] {
      const std::string scratch = native_dir() + "/p" + std::to_string(p);
      std::filesystem::create_directories(scratch);
      const std::string tag = "process" + std::to_string(p) + std::string(150, 'x');  // long lines
      EXPECT_EQ(0, testing_support::run_built("platform_helper", {"ods", tag, std::to_string(kPerThread)}, scratch).status);
    });
  }
  for (int i = 0; i < kPerThread; ++i) os::OutputDebugStringW(u"this process\r\n");
  for (auto& w : writers) w.join();

  std::map<std::string, int> counts;
  for (const std::string& line : lines_of(log())) {
    ASSERT_FALSE(line.empty());
    ASSERT_EQ('\r', line.back()) << line;
    if (line == "this process\r") {
      ++counts["this"];
      continue;
    }
    std::istringstream words(line);
    std::string tag, thread, index;
    ASSERT_TRUE(words >> tag >> thread >> index) << line;
    ASSERT_EQ(std::string(150, 'x'), tag.substr(8)) << line;
    ++counts[tag.substr(0, 8) + thread];
  }
  EXPECT_EQ(kPerThread, counts["this"]);
  for (const char* writer : {"process00", "process01", "process10", "process11"}) EXPECT_EQ(kPerThread, counts[writer]) << writer;
}

TEST_F(DebugOutput, StandardErrorToo) {
  setenv("VOSTUSB_DEBUG_STDERR", "1", 1);
  const auto result = testing_support::run_built("platform_helper", {"ods", "echo", "1"}, native_dir());
  unsetenv("VOSTUSB_DEBUG_STDERR");
  ASSERT_EQ(0, result.status);
  EXPECT_NE(std::string::npos, result.err.find("echo 0 0\r\n"));
  EXPECT_NE(std::string::npos, result.err.find("echo 1 0\r\n"));
  EXPECT_NE(std::string::npos, log().find("echo 1 0\r\n"));
}
