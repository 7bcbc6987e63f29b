// The command listener of service mode, running in a process of its own (command_peer), asked
// over channel "default" as the suite's programs and the control modes ask it.
#include "app/command_listener.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "peers.h"
#include "pipes/commp.h"
#include "support/run_command.h"
#include "support/wine.h"

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

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
  // Runs the pipe_asker helper with `args`, as the standard user "nobody" when `standard_user` is
  // set; its output line without the line end.
  std::string run_asker(bool standard_user, std::vector<std::string> args) {
    std::string program = "pipe_asker";
    if (standard_user) {
      program = "as_standard_user";
      args.insert(args.begin(), std::string(VOSTUSB_BIN_DIR) + "/pipe_asker");
    }
    const auto result = testing_support::run_built(program, args, native_dir());
    EXPECT_EQ(0, result.status) << result.out << result.err;
    std::string line = result.out;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
  }
  // One exchange with the listener `pid` as this process (the administrator); its answer.
  static std::u16string ask_listener(DWORD pid, const std::u16string& question) {
    class_commp asker;
    asker.connect_timeout = 2000;
    asker.write_timeout = 2000;
    std::u16string answer;
    EXPECT_EQ(1, asker.ask(answer, pid, question, u"default"));
    return answer;
  }
  std::string flags_file_;
  int started_ = 0;
};

// Skips a test that needs a process of a standard user: the test must run as root to start one.
#define SKIP_WITHOUT_STANDARD_USER()                                                              \
  do {                                                                                            \
    if (!standard_user_available()) GTEST_SKIP() << "needs root and the user nobody to run an asker as a standard user"; \
  } while (false)

namespace {

bool standard_user_available() {
#ifdef _WIN32
  return false;
#else
  return ::geteuid() == 0 && ::getpwnam("nobody") != nullptr;
#endif
}

}  // namespace

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
  // "cfg" makes sure of the current list (which loads the initial rules when it had to write it)
  // before it reloads the configuration.
  const auto lines = captured_lines();
  std::size_t list_line = lines.size(), config_line = lines.size();
  for (std::size_t i = lines.size(); i-- > 0;) {
    if (lines[i].find("load_initial_rules") != std::string::npos) list_line = i;
    if (lines[i].find("read_config") != std::string::npos) config_line = i;
  }
  EXPECT_LT(list_line, config_line);
  EXPECT_LT(config_line, lines.size());
}

TEST_F(CommandListener, UninstallAloneSetsBothFlags) {
  const DWORD pid = start_listener();
  ASSERT_NE(0u, pid);
  EXPECT_EQ(u"1", ask_listener(pid, u"uninstall"));
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

// Who asks is judged from the pipe: the request of every asker below claims to come from the
// listener's own process (the system account), and only the askers that are privileged get
// "stop" and "uninstall" carried out. The listener goes on serving after a refusal.
TEST_F(CommandListener, StopAndUninstallOnlyForThePrivileged) {
  SKIP_WITHOUT_STANDARD_USER();
  struct Step {
    const char* question;
    bool standard_user;
    std::string answer;
    std::string flags;
  };
  const Step steps[] = {
      {"stop", true, "", "0 0"},  {"uninstall", true, "", "0 0"},  {"cfg", true, "1", "0 0"},
      {"stop", false, "1", "1 0"}, {"uninstall", true, "", "1 0"}, {"uninstall", false, "1", "1 1"},
  };
  const DWORD pid = start_listener();
  ASSERT_NE(0u, pid);
  const std::string claimed = std::to_string(pid);
  for (const Step& step : steps) {
    SCOPED_TRACE(std::string(step.question) + (step.standard_user ? " as nobody" : " as root"));
    EXPECT_EQ(step.answer, run_asker(step.standard_user, {"ask", claimed, "default", step.question, claimed}));
    if (step.answer.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));  // a change would show
    EXPECT_EQ(step.flags, flags_once(step.flags));
  }
  EXPECT_TRUE(wait_for_line("command refused [stop] : "));
  EXPECT_EQ(2u, lines_with("command refused [uninstall] : ").size());
}

// The listener's pipe is its own for as long as it runs: neither a standard user nor another
// process of the administrator can add an instance that would take askers' questions.
TEST_F(CommandListener, NoOtherProcessCreatesAnInstanceOfItsPipe) {
  SKIP_WITHOUT_STANDARD_USER();
  const DWORD pid = start_listener();
  ASSERT_NE(0u, pid);
  ASSERT_TRUE(wait_for_line("listener [\\\\.\\pipe\\vostrel_comm_default_" + std::to_string(pid) + "]"));
  const std::string denied = std::to_string(ERROR_ACCESS_DENIED) + " " + std::to_string(ERROR_ACCESS_DENIED);
  EXPECT_EQ(denied, run_asker(true, {"serve", std::to_string(pid), "default"}));
  EXPECT_EQ(denied, run_asker(false, {"serve", std::to_string(pid), "default"}));
  // And the listener still serves.
  EXPECT_EQ(u"1", ask_listener(pid, u"cfg"));
}

// A pipe of the listener's name that exists already belongs to somebody else: the listener does
// not serve it, says so, and service mode ends.
TEST_F(CommandListener, APipeThatExistsAlreadyEndsServiceMode) {
  if (testing_support::under_wine()) {
    GTEST_SKIP() << "Wine does not refuse FILE_FLAG_FIRST_PIPE_INSTANCE on a pipe that exists";
  }
  flags_file_ = native_dir() + "/taken_flags.txt";
  const DWORD pid = start_peer("command_peer", {"\"" + flags_file_ + "\"", "taken"});
  ASSERT_NE(0u, pid);
  EXPECT_EQ("1 0", flags_once("1 0"));
  const std::string pipe = "[\\\\.\\pipe\\vostrel_comm_default_" + std::to_string(pid) + "]";
  EXPECT_TRUE(wait_for_line("pipe error " + pipe + " : " + std::to_string(ERROR_ACCESS_DENIED)));
  EXPECT_TRUE(wait_for_line("listener stopped " + pipe));
}
