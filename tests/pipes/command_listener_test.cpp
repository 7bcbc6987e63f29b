// The command listener of service mode, running in a process of its own (command_peer), asked
// over channel "default" as the suite's programs and the control modes ask it.
#include "process/command_listener.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "peers.h"
#include "pipes/commp.h"

class CommandListener : public pipe_test::PeerHost {
 protected:
  DWORD start_listener() {
    flags_file_ = native_dir() + "/flags" + std::to_string(++started_) + ".txt";
    return start_peer("command_peer", {"\"" + flags_file_ + "\""});
  }
  // The flags as "<stop_requested> <uninstall_requested>" once they read `expected` (at most 2 s).
  std::string flags_once(const std::string& expected) {
    std::string flags;
    for (int i = 0; i < 100; ++i) {
      flags = testing_support::read_native_file(flags_file_);
      if (flags == expected) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return flags;
  }
  std::string flags_file_;
  int started_ = 0;
};

TEST_F(CommandListener, AnswersAndSetsTheStopFlagsAsItsTableSays) {
  struct Step {
    std::u16string question;
    std::u16string answer;
    std::string flags;
  };
  const Step steps[] = {
      {u"STOP", u"", "0 0"},      {u"Stop", u"", "0 0"},  {u"stop ", u"", "0 0"},
      {u"restart", u"", "0 0"},   {u"", u"", "0 0"},      {u"cfg", u"1", "0 0"},
      {u"stop", u"1", "1 0"},     {u"stop", u"1", "1 0"}, {u"uninstall", u"1", "1 1"},
  };
  const DWORD pid = start_listener();
  ASSERT_NE(0u, pid);
  class_commp asker;
  asker.connect_timeout = 2000;
  asker.write_timeout = 2000;
  for (const Step& step : steps) {
    std::u16string answer = u"old";
    EXPECT_EQ(1, asker.ask(answer, pid, step.question, u"default"));
    EXPECT_EQ(step.answer, answer);
    if (step.answer.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));  // a change would show
    EXPECT_EQ(step.flags, flags_once(step.flags));
  }
  const std::string pipe = "listener [\\\\.\\pipe\\vostrel_comm_default_" + std::to_string(pid) + "]";
  ASSERT_TRUE(wait_for_line(pipe));
  const auto listener = lines_with(pipe);
  ASSERT_EQ(1u, listener.size());
  EXPECT_TRUE(listener[0].ends_with(pipe)) << listener[0];
  // The listener thread's own entry line ("cfg" adds read_config's).
  const auto enter = lines_with("thread_communication_default:");
  ASSERT_EQ(1u, enter.size());
  EXPECT_TRUE(enter[0].ends_with("-> > Enter")) << enter[0];
  // "cfg" makes sure of the current list before it reloads the configuration.
  const auto lines = captured_lines();
  std::size_t list_line = lines.size(), config_line = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find("ensure_current_usb_list") != std::string::npos) list_line = i;
    if (lines[i].find("read_config") != std::string::npos) config_line = i;
  }
  EXPECT_LT(list_line, config_line);
  EXPECT_LT(config_line, lines.size());
}

TEST_F(CommandListener, UninstallAloneSetsBothFlags) {
  const DWORD pid = start_listener();
  ASSERT_NE(0u, pid);
  class_commp asker;
  asker.connect_timeout = 2000;
  asker.write_timeout = 2000;
  std::u16string answer;
  EXPECT_EQ(1, asker.ask(answer, pid, u"uninstall", u"default"));
  EXPECT_EQ(u"1", answer);
  EXPECT_EQ("1 1", flags_once("1 1"));
}

TEST_F(CommandListener, BackgroundAskReachesTheListenerByNameWithoutWaiting) {
  flags_file_ = native_dir() + "/background_flags.txt";
  ASSERT_NE(0u, start_peer("command_peer", {"\"" + flags_file_ + "\""}, "background_command_peer"));
  const DWORD start = os::GetTickCount();
  ask_in_background(u"Background_Command_Peer", u"stop", u"default");
  EXPECT_LT(os::GetTickCount() - start, 1000u);
  EXPECT_EQ("1 0", flags_once("1 0"));
  // Its worker ends once the answer is in.
  for (int i = 0; i < 500 && g_ask_thread_group.Count() > 0; ++i) {
    g_ask_thread_group.Reap();
    os::Sleep(10);
  }
  EXPECT_EQ(0u, g_ask_thread_group.Count());
}
