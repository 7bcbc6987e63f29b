// One short text ask against a listener in another process, next to the bare transport: the same
// kind of pipe, opened, written, read and closed without the protocol (no busy mutex, no overlapped
// time limits, no security descriptor, no request header). Both listeners are pipe_peer processes
// on a temporary simulated machine. Between two iterations, untimed, the listener gets a
// millisecond to set up its next pipe instance, as it would have between two real commands.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "pipes/channel_names.h"
#include "pipes/commp.h"
#include "platform/handle.h"
#include "text/format.h"
#include "text/utf.h"

namespace {

namespace fs = std::filesystem;

struct Machine {
  Machine() {
    root = fs::temp_directory_path() / ("vostusb-bench-" + std::to_string(::getpid()));
    fs::create_directories(root);
    setenv("VOSTUSB_SIM_ROOT", (root / "sim").c_str(), 1);
  }
  ~Machine() {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
  fs::path root;
};

// A pipe_peer process, ended with the benchmark.
class Peer {
 public:
  Peer(const Machine& machine, const std::string& mode, const std::string& channel) {
    const fs::path pid_file = machine.root / (mode + ".pid");
    const std::u16string parameters = text::from_utf8("\"" + pid_file.string() + "\" " + mode + " " + channel);
    const std::u16string program = text::from_utf8(std::string("Z:") + PIPE_PEER_PATH);
    os::SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    if (os::ShellExecuteExW(&info)) process_.reset(info.hProcess);
    for (int i = 0; i < 500 && pid == 0; ++i) {
      std::ifstream in(pid_file);
      std::string line;
      if (std::getline(in, line) && !line.empty()) pid = static_cast<DWORD>(std::stoul(line));
      if (pid == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~Peer() {
    if (process_) {
      os::TerminateProcess(process_.get(), 0);
      os::WaitForSingleObject(process_.get(), 5000);
    }
  }
  DWORD pid = 0;

 private:
  os::unique_handle process_;
};

Machine& machine() {
  static Machine m;
  return m;
}

void let_the_listener_rearm(benchmark::State& state, const std::u16string& busy_mutex) {
  state.PauseTiming();
  while (!busy_mutex.empty() && global_mutex_exists(busy_mutex)) os::Sleep(0);
  os::Sleep(1);
  state.ResumeTiming();
}

void BM_AskRoundTrip(benchmark::State& state) {
  static Peer listener(machine(), "echo", "bench");
  if (listener.pid == 0) {
    state.SkipWithError("the listener did not start");
    return;
  }
  const std::u16string busy = channel_busy_mutex(channel_base_name(u"bench", listener.pid));
  class_commp asker;
  asker.connect_timeout = 2000;
  asker.write_timeout = 2000;
  std::u16string answer;
  for (auto _ : state) {
    if (!asker.ask(answer, listener.pid, u"ping", u"bench") || answer != u"echo:ping") {
      state.SkipWithError("no answer");
      return;
    }
    let_the_listener_rearm(state, busy);
  }
}
BENCHMARK(BM_AskRoundTrip)->Unit(benchmark::kMicrosecond);

void BM_BareTransportRoundTrip(benchmark::State& state) {
  const std::string name = "vostusb_bench_bare_" + std::to_string(::getpid());
  static Peer server(machine(), "bare", name);
  if (server.pid == 0) {
    state.SkipWithError("the bare server did not start");
    return;
  }
  const std::u16string path = u"\\\\.\\pipe\\" + text::from_utf8(name);
  const std::uint8_t request[12] = {1, 2, 3, 4, 'p', 0, 'i', 0, 'n', 0, 'g', 0};
  std::uint8_t reply[64];
  for (auto _ : state) {
    os::unique_hfile pipe;
    while (!pipe) {
      pipe.reset(os::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    DWORD mode = PIPE_READMODE_MESSAGE;
    DWORD count = 0;
    if (!os::SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr) ||
        !os::WriteFile(pipe.get(), request, sizeof request, &count, nullptr) ||
        !os::ReadFile(pipe.get(), reply, sizeof reply, &count, nullptr) || count != sizeof request) {
      state.SkipWithError("no echo");
      return;
    }
    pipe.reset();
    let_the_listener_rearm(state, u"");
  }
}
BENCHMARK(BM_BareTransportRoundTrip)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
