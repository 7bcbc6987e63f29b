// Service mode and the control modes as separate processes on one simulated machine: "/start"
// runs the guard, "/stop" and "/uninstall" ask it over channel "default". Until the driver
// bring-up is part of the build, the guard takes its failed-start path: it stops by itself after
// 2 s, holds its emergency delay of 20 s and exits, answering commands all the while.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <regex>

#include "../platform/child_process.h"
#include "support/debug_output.h"
#include "support/sim_root.h"
#include "text/utf.h"

using testing_support::find_line;

namespace {

std::size_t count_lines(const std::vector<std::string>& lines, const std::string& text) {
  std::size_t count = 0;
  for (const std::string& line : lines) count += line.find(text) != std::string::npos ? 1 : 0;
  return count;
}

}  // namespace

class ServiceMode : public testing_support::FreshHost {
 protected:
  void SetUp() override {
    FreshHost::SetUp();
    output_ = std::make_unique<testing_support::DebugOutput>(native_dir());
    ASSERT_EQ("", output_->error());
    // A copy of its own: "/stop" looks for another process of the same image, and other tests
    // run the guard from the build folder at the same time.
    guard_ = win_path(std::string("guard/vostrelusb") + platform_test::kExe);
    platform_test::copy_helper("vostrelusb", native_dir() + "/guard", std::string("vostrelusb") + platform_test::kExe);
  }

  platform_test::Started start_guard(const std::u16string& parameters) {
    return platform_test::shell_execute(guard_, parameters);
  }

  // Runs the guard with `parameters` and waits for it to end.
  bool run_guard(const std::u16string& parameters) {
    platform_test::Started run = start_guard(parameters);
    return run.ok && os::WaitForSingleObject(run.process.get(), 30000) == WAIT_OBJECT_0;
  }

  void TearDown() override {
    output_.reset();
    FreshHost::TearDown();
  }

  // Every line written on the machine until now (UTF-8, without line ends).
  std::vector<std::string> all_lines() { return testing_support::utf8_lines(output_->stop()); }

  std::u16string guard_;
  std::unique_ptr<testing_support::DebugOutput> output_;
};

TEST_F(ServiceMode, StopAgainstARunningStartStopsIt) {
  platform_test::Started service = start_guard(u"/start");
  ASSERT_TRUE(service.ok);
  ASSERT_TRUE(output_->wait_for_line(u"*** USB STARTED.", std::chrono::seconds(20)));

  EXPECT_TRUE(run_guard(u"/start"));  // a second service instance ends at once
  EXPECT_TRUE(run_guard(u"/stop"));
  EXPECT_TRUE(run_guard(u"/uninstall"));

  ASSERT_EQ(WAIT_OBJECT_0, os::WaitForSingleObject(service.process.get(), 60000));
  service.process.reset();

  const auto lines = all_lines();
  EXPECT_EQ(1u, count_lines(lines, "-> *** USB STARTED."));
  const std::size_t result = find_line(lines, "-> Stop result: ");
  ASSERT_NE(std::string::npos, result);
  EXPECT_TRUE(lines[result].ends_with("-> Stop result: 1")) << lines[result];
  EXPECT_EQ(1u, count_lines(lines, "Stop result: "));  // "/uninstall" writes no result line

  const std::regex listener(R"(.*int class_commp::listen:\d+ -> listener \[\\\\\.\\pipe\\vostrel_comm_default_\d+\])");
  EXPECT_EQ(1, std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return std::regex_match(l, listener); }));
  const std::size_t enter = find_line(lines, "thread_communication_default:");
  ASSERT_NE(std::string::npos, enter);
  EXPECT_TRUE(lines[enter].ends_with("-> > Enter")) << lines[enter];

  // The service's own lines in their order.
  std::size_t at = 0;
  for (const char* text : {"-> *** USB STARTED.", "read_config", "driver_start", "-> *** USB STOPPED.", "driver_stop",
                           "-> Emergency delay...", "-> Exit."}) {
    const std::size_t next = find_line(lines, text, at);
    ASSERT_NE(std::string::npos, next) << text;
    at = next + 1;
  }
  EXPECT_LT(find_line(lines, "-> *** USB STARTED."), result);
  EXPECT_EQ(std::string::npos, find_line(lines, "! Force process termination."));
  EXPECT_EQ(4u, count_lines(lines, "-> LANG(U): "));  // the service and the three short runs
}

TEST_F(ServiceMode, StopWithoutAServiceGetsAnEmptyResult) {
  EXPECT_TRUE(run_guard(u"/stop"));
  const auto lines = all_lines();
  ASSERT_EQ(4u, lines.size());
  EXPECT_TRUE(lines[3].ends_with("-> Stop result: ")) << lines[3];
}
