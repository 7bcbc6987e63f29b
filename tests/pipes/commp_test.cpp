// Exchanges between real processes: this test program asks, a pipe_peer process listens.
#include "pipes/commp.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "peers.h"
#include "pipe_pair.h"
#include "pipes/pipe_io.h"
#include "process/registry.h"
#include "text/utf.h"
#include "text/format.h"

using pipe_test::peer_pipe;

namespace {

void use_timeouts(class_commp& asker, DWORD connect_timeout = 2000) {
  asker.connect_timeout = connect_timeout;
  asker.write_timeout = 2000;
}

DWORD elapsed_since(DWORD start) { return os::GetTickCount() - start; }

}  // namespace

class Exchanges : public pipe_test::PeerHost {
 protected:
  DWORD listener(const std::string& mode, const std::string& channel, const std::string& client_timeout = "") {
    std::vector<std::string> arguments = {mode, channel};
    if (!client_timeout.empty()) arguments.push_back(client_timeout);
    return start_peer("pipe_peer", arguments);
  }

  // Whether the listener of `channel` in process `pid` takes its busy mutex within 20 s: generous,
  // since on a loaded machine (sanitizers, parallel tests) the asker may take seconds to get there.
  static bool becomes_busy(const std::u16string& channel, DWORD pid) {
    const std::u16string busy = channel_busy_mutex(channel_base_name(channel, pid));
    const DWORD start = os::GetTickCount();
    while (!global_mutex_exists(busy) && elapsed_since(start) < 20000) os::Sleep(5);
    return global_mutex_exists(busy);
  }
};

TEST_F(Exchanges, TextQuestionGetsTheListenersAnswer) {
  const DWORD pid = listener("echo", "text");
  ASSERT_NE(0u, pid);
  class_commp asker;
  use_timeouts(asker);
  std::u16string result = u"old";
  EXPECT_EQ(1, asker.ask(result, pid, u"zażółć gęślą", u"text"));
  EXPECT_EQ(u"echo:zażółć gęślą", result);
  EXPECT_EQ(peer_pipe(u"text", pid), asker.pipe_name());
  EXPECT_EQ(1, asker.ask(result, pid, u"", u"text"));  // an empty question is a question
  EXPECT_EQ(u"echo:", result);
}

TEST_F(Exchanges, RequestCarriesTheAskersProcessId) {
  const DWORD pid = listener("pid", "who");
  ASSERT_NE(0u, pid);
  class_commp asker;
  use_timeouts(asker);
  std::u16string result;
  EXPECT_EQ(1, asker.ask(result, pid, u"?", u"who"));
  EXPECT_EQ(text::format(u"%u", static_cast<unsigned>(os::GetCurrentProcessId())), result);
}

TEST_F(Exchanges, ByteAnswerIsAppendedToTheAnswerBuffer) {
  const DWORD pid = listener("bytes", "bytes");
  ASSERT_NE(0u, pid);
  class_commp asker;
  use_timeouts(asker);
  CMemBuf question;
  question.Append("\x00\x01\x02\xff", 4);
  CMemBuf answer;
  answer.Append("xy", 2);
  EXPECT_EQ(1, asker.ask(pid, question, answer, u"bytes"));
  ASSERT_EQ(6u, answer.size());
  EXPECT_EQ(0, std::memcmp(answer.data(), "xy\x00\x01\x02\xff", 6));
}

TEST_F(Exchanges, EmptyAnswerIsAZeroLengthMessage) {
  const DWORD pid = listener("empty", "empty");
  ASSERT_NE(0u, pid);
  class_commp asker;
  use_timeouts(asker);
  std::u16string result = u"old";
  EXPECT_EQ(1, asker.ask(result, pid, u"anything", u"empty"));
  EXPECT_EQ(u"", result);
  EXPECT_TRUE(lines_with("error").empty());  // a valid answer, not a failure
}

TEST_F(Exchanges, MessagesOfSeveralMegabytesTravelBothWays) {
  const DWORD pid = listener("bytes", "large");
  ASSERT_NE(0u, pid);
  class_commp asker;
  use_timeouts(asker);
  std::vector<std::uint8_t> bytes((3u << 20) + 7);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 13 + (i >> 12));
  CMemBuf question;
  question.Append(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  CMemBuf answer;
  EXPECT_EQ(1, asker.ask(pid, question, answer, u"large"));
  ASSERT_EQ(bytes.size(), answer.size());
  EXPECT_EQ(0, std::memcmp(answer.data(), bytes.data(), bytes.size()));
}

TEST_F(Exchanges, NoConnectionGivesZeroAndAnEmptyAnswer) {
  const DWORD pid = listener("echo", "none");
  ASSERT_NE(0u, pid);
  std::u16string result = u"old";
  {
    class_commp asker;
    use_timeouts(asker, 0);  // no attempt at all, though a listener waits
    const DWORD start = os::GetTickCount();
    EXPECT_EQ(0, asker.ask(result, pid, u"q", u"none"));
    EXPECT_LT(elapsed_since(start), 200u);
    EXPECT_EQ(u"", result);
  }
  {
    class_commp asker;
    use_timeouts(asker, 300);  // nobody serves this channel
    const DWORD start = os::GetTickCount();
    result = u"old";
    EXPECT_EQ(0, asker.ask(result, pid, u"q", u"other"));
    EXPECT_GE(elapsed_since(start), 250u);
    EXPECT_EQ(u"", result);
  }
  {
    class_commp asker;
    use_timeouts(asker, 300);  // no such process
    result = u"old";
    EXPECT_EQ(0, asker.ask(result, u"no_such_program_here.exe", u"q", u"none"));
    EXPECT_EQ(u"", result);
  }
}

TEST_F(Exchanges, ByNameFindsTheListenersProcess) {
  const DWORD pid = start_peer("pipe_peer", {"echo", "named"}, "named_listener_peer");
  ASSERT_NE(0u, pid);
  class_commp asker;
  use_timeouts(asker);
  std::u16string result;
  EXPECT_EQ(1, asker.ask(result, u"NAMED_Listener_PEER", u"hi", u"named"));
  EXPECT_EQ(u"echo:hi", result);
  EXPECT_EQ(peer_pipe(u"named", pid), asker.pipe_name());
}

// By name the suite's programs are asked, and believed only when the pipe's server runs from the
// suite's program folder: elsewhere, or with no installation folder recorded, nothing is sent and
// the asker counts the program as absent.
TEST_F(Exchanges, ByNameBelievesOnlyTheSuitesProgramFolder) {
  using Placement = pipe_test::PeerHost::Placement;
  struct Case {
    const char* name;
    Placement placement;
    bool root_recorded;
    int result;
    std::u16string answer;
  };
  const Case cases[] = {
      {"suite_folder_peer", Placement::suite_folder, true, 1, u"echo:hi"},
      {"elsewhere_peer", Placement::elsewhere, true, 0, u""},
      {"unrecorded_root_peer", Placement::suite_folder, false, 0, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DWORD pid = start_peer("pipe_peer", {"echo", c.name}, c.name, c.placement);
    ASSERT_NE(0u, pid);
    if (!c.root_recorded) {
      ASSERT_EQ(1, registry::reg_write_string(u"Software\\kavenor", u"RootPath", u""));
    }
    class_commp asker;
    use_timeouts(asker);
    std::u16string result = u"old";
    EXPECT_EQ(c.result, asker.ask(result, text::from_utf8(c.name), u"hi", text::from_utf8(c.name)));
    EXPECT_EQ(c.answer, result);
    const std::string refused = "ask peer refused [" + text::to_utf8(peer_pipe(text::from_utf8(c.name), pid)) +
                                "] : " + std::to_string(pid) + " [";
    if (c.result == 0) {
      EXPECT_TRUE(wait_for_line(refused));
    } else {
      EXPECT_TRUE(lines_with(refused).empty());
    }
    end_peer(pid);
  }
}

TEST_F(Exchanges, OwnProcessIsAskedWithIdZero) {
  // The peer listens on a thread and asks itself; its report is "<pid> <answer>".
  const DWORD pid = listener("self", "own_zero");
  ASSERT_NE(0u, pid);
  EXPECT_TRUE(wait_for_line("listener [\\\\.\\pipe\\vostrel_comm_own_zero_" + std::to_string(pid) + "]"));
  EXPECT_EQ(std::to_string(pid) + " echo:me\n", report(pid));
}

TEST_F(Exchanges, BusyListenerMakesTheNextAskerWaitForIt) {
  const DWORD pid = listener("slow", "slow");
  ASSERT_NE(0u, pid);
  std::u16string first;
  std::jthread first_asker([&] {
    class_commp asker;
    use_timeouts(asker);
    asker.ask(first, pid, u"a", u"slow");
  });
  ASSERT_TRUE(becomes_busy(u"slow", pid));
  // Its connect time-out alone would run out long before the first exchange ends.
  class_commp second;
  use_timeouts(second, 300);
  std::u16string result;
  const DWORD second_start = os::GetTickCount();
  EXPECT_EQ(1, second.ask(result, pid, u"b", u"slow"));
  EXPECT_EQ(u"slow:b", result);
  EXPECT_GE(elapsed_since(second_start), 1000u);
  first_asker.join();
  EXPECT_EQ(u"slow:a", first);
}

TEST_F(Exchanges, BusyWaitEndsAtTheAskersBound) {
  // A listener stuck in one exchange keeps its channel busy; an asker with a bound of its own waits
  // that long, not the channel's ten minutes, and then finds no free instance.
  const DWORD pid = listener("silent", "stuck");
  ASSERT_NE(0u, pid);
  std::jthread first_asker([&] {
    class_commp asker;
    use_timeouts(asker);
    asker.answer_timeout = 4000;
    std::u16string ignored;
    asker.ask(ignored, pid, u"a", u"stuck");
  });
  ASSERT_TRUE(becomes_busy(u"stuck", pid));
  class_commp second;
  use_timeouts(second, 300);
  second.busy_timeout = 600;
  std::u16string result = u"old";
  const DWORD second_start = os::GetTickCount();
  EXPECT_EQ(0, second.ask(result, pid, u"b", u"stuck"));
  const DWORD waited = elapsed_since(second_start);
  EXPECT_GE(waited, 600u);
  EXPECT_LT(waited, 3500u);  // well before the first asker gives up
  EXPECT_EQ(u"", result);
  first_asker.join();
}

TEST_F(Exchanges, ManyAskersAtOnceEachGetTheirOwnAnswer) {
  const DWORD pid = listener("echo", "crowd");
  ASSERT_NE(0u, pid);
  constexpr int kAskers = 12;
  constexpr int kRounds = 3;
  std::vector<std::u16string> answers(kAskers * kRounds);
  std::vector<int> connected(kAskers * kRounds, 0);
  std::vector<std::thread> askers;
  for (int a = 0; a < kAskers; ++a) {
    askers.emplace_back([&, a] {
      class_commp asker;
      use_timeouts(asker, 5000);
      for (int r = 0; r < kRounds; ++r) {
        const int slot = a * kRounds + r;
        connected[slot] = asker.ask(answers[slot], pid, text::format(u"q%i", slot), u"crowd");
      }
    });
  }
  for (std::thread& t : askers) t.join();
  for (int slot = 0; slot < kAskers * kRounds; ++slot) {
    EXPECT_EQ(1, connected[slot]) << slot;
    EXPECT_EQ(text::format(u"echo:q%i", slot), answers[slot]);
  }
}

TEST_F(Exchanges, ListenerThatNeverAnswersCostsTheAskerOnlyItsAnswerTime) {
  const DWORD pid = listener("silent", "silent");
  ASSERT_NE(0u, pid);
  class_commp asker;
  use_timeouts(asker);
  asker.answer_timeout = 300;
  std::u16string result = u"old";
  const DWORD start = os::GetTickCount();
  EXPECT_EQ(1, asker.ask(result, pid, u"hello?", u"silent"));
  EXPECT_EQ(u"", result);
  EXPECT_LT(elapsed_since(start), 5000u);
  ASSERT_TRUE(wait_for_line("read time-out ["));
  const auto lines = lines_with("read time-out [");
  ASSERT_EQ(1u, lines.size());
  EXPECT_TRUE(lines[0].ends_with("-> read time-out [\\\\.\\pipe\\vostrel_comm_silent_" + std::to_string(pid) + "] : 1460"))
      << lines[0];
}

TEST_F(Exchanges, AskerOfAListenerThatDiedGetsNothing) {
  const DWORD pid = listener("echo", "dies");
  ASSERT_NE(0u, pid);
  class_commp asker;
  use_timeouts(asker, 500);
  std::u16string result;
  ASSERT_EQ(1, asker.ask(result, pid, u"1", u"dies"));
  end_peer(pid);
  result = u"old";
  EXPECT_EQ(0, asker.ask(result, pid, u"2", u"dies"));
  EXPECT_EQ(u"", result);
}

// Clients that do not keep to the protocol: the listener drops them within its time per step and
// serves the next asker.
class ListenerFaults : public Exchanges {
 protected:
  void SetUp() override {
    Exchanges::SetUp();
    pid_ = listener(mode(), "faults", client_timeout());
    ASSERT_NE(0u, pid_);
  }
  virtual std::string mode() const { return "echo"; }
  virtual std::string client_timeout() const { return "500"; }
  os::unique_hfile raw_client() { return pipe_test::open_client(peer_pipe(u"faults", pid_)); }
  void expect_next_asker_served() {
    class_commp asker;
    use_timeouts(asker, 5000);
    CMemBuf question;
    question.Append("ok", 2);
    CMemBuf answer;
    EXPECT_EQ(1, asker.ask(pid_, question, answer, u"faults"));
    EXPECT_LT(0u, answer.size());
  }
  DWORD pid_ = 0;
};

TEST_F(ListenerFaults, RequestShorterThanFourBytesGetsNoAnswer) {
  os::unique_hfile client = raw_client();
  ASSERT_TRUE(client);
  DWORD count = 0;
  ASSERT_TRUE(os::WriteFile(client.get(), "\x01\x02", 2, &count, nullptr));
  std::uint8_t buffer[16];
  EXPECT_FALSE(os::ReadFile(client.get(), buffer, sizeof buffer, &count, nullptr));  // the pipe is closed on it
  client.reset();
  expect_next_asker_served();
}

TEST_F(ListenerFaults, ClientThatNeverWritesIsDroppedAfterItsTime) {
  os::unique_hfile client = raw_client();
  ASSERT_TRUE(client);
  const DWORD start = os::GetTickCount();
  expect_next_asker_served();
  EXPECT_GE(elapsed_since(start), 400u);
  EXPECT_TRUE(wait_for_line("read time-out ["));
  EXPECT_EQ(1u, lines_with("read time-out [").size());
}

class SlowReaderFaults : public ListenerFaults {
  std::string mode() const override { return "bytes"; }
};

TEST_F(SlowReaderFaults, ClientThatNeverReadsItsAnswerDoesNotHoldTheListener) {
  os::unique_hfile client = raw_client();
  ASSERT_TRUE(client);
  // An answer of a few megabytes cannot wait in the pipe's buffers for a reader.
  std::vector<std::uint8_t> request((2u << 20) + 4, 0x5A);
  DWORD count = 0;
  ASSERT_TRUE(os::WriteFile(client.get(), request.data(), static_cast<DWORD>(request.size()), &count, nullptr));
  expect_next_asker_served();
  ASSERT_TRUE(wait_for_line("listen write error ["));
  const auto lines = lines_with("listen write error [");
  ASSERT_EQ(1u, lines.size());
  EXPECT_TRUE(lines[0].ends_with("] : 1460")) << lines[0];
}

// Time enough for the listener to read up to its limit on a busy machine.
class OversizedFaults : public ListenerFaults {
  std::string client_timeout() const override { return "30000"; }
};

TEST_F(OversizedFaults, OversizedRequestIsRefusedWithoutAnAnswer) {
  os::unique_hfile client = raw_client();
  ASSERT_TRUE(client);
  std::vector<std::uint8_t> request(kMaxMessageBytes + 100, 0x33);
  std::thread writer([&] {
    DWORD count = 0;
    os::WriteFile(client.get(), request.data(), static_cast<DWORD>(request.size()), &count, nullptr);
  });
  expect_next_asker_served();
  writer.join();
  EXPECT_TRUE(wait_for_line("message too large ["));
  EXPECT_EQ(1u, lines_with("message too large [").size());
}
