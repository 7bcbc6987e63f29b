#include "peers.h"

#include <chrono>
#include <filesystem>
#include <thread>

#include "text/utf.h"

namespace pipe_test {

DWORD PeerHost::start_peer(const std::string& program, const std::vector<std::string>& arguments) {
  const std::string pid_file = native_dir() + "/peer" + std::to_string(next_++) + ".pid";
  std::string parameters = "\"" + pid_file + "\"";
  for (const std::string& argument : arguments) parameters += " " + argument;
  auto started = platform_test::shell_execute(bin_path(program + platform_test::kExe), text::from_utf8(parameters));
  if (!started.ok) return 0;
  for (int i = 0; i < 1000; ++i) {
    const std::string report = testing_support::read_native_file(pid_file);
    if (!report.empty() && report.back() == '\n') {
      const DWORD pid = static_cast<DWORD>(std::stoul(report));
      peers_.push_back({pid, std::move(started)});
      return pid;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return 0;
}

void PeerHost::end_peer(DWORD pid) {
  for (Peer& peer : peers_) {
    if (peer.pid == pid && peer.started.process) {
      platform_test::end_process(peer.started.process.get());
      peer.started.process.reset();
    }
  }
}

std::vector<std::string> PeerHost::lines_with(const std::string& text) const {
  std::vector<std::string> found;
  for (const std::string& line : debug_lines()) {
    if (line.find(text) != std::string::npos) found.push_back(line);
  }
  return found;
}

}  // namespace pipe_test
