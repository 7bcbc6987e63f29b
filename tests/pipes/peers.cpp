#include "peers.h"

#include <chrono>
#include <filesystem>
#include <thread>

#include "process/registry.h"
#include "text/utf.h"

namespace pipe_test {

void PeerHost::SetUp() {
  FreshHost::SetUp();
  output_ = std::make_unique<testing_support::DebugOutput>(native_dir());
  ASSERT_EQ("", output_->error());
}

DWORD PeerHost::start_peer(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& copy_as, Placement placement) {
  const std::string pid_file = native_dir() + "/peer" + std::to_string(next_++) + ".pid";
  std::string parameters = "\"" + pid_file + "\"";
  for (const std::string& argument : arguments) parameters += " " + argument;
  std::u16string file = bin_path(program + platform_test::kExe);
  if (!copy_as.empty()) {
    const std::string folder = placement == Placement::suite_folder ? "install/bin" : "elsewhere";
    if (registry::reg_write_string(u"Software\\kavenor", u"RootPath", win_path("install")) != 1) return 0;
    platform_test::copy_helper(program, native_dir() + "/" + folder, copy_as + platform_test::kExe);
    file = win_path(folder + "/" + copy_as + platform_test::kExe);
  }
  auto started = platform_test::shell_execute(file, text::from_utf8(parameters));
  if (!started.ok) return 0;
  for (int i = 0; i < 1000; ++i) {
    const std::string report = testing_support::read_native_file(pid_file);
    if (!report.empty() && report.back() == '\n') {
      const DWORD pid = static_cast<DWORD>(std::stoul(report));
      peers_.push_back({pid, pid_file, std::move(started)});
      return pid;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return 0;
}

std::string PeerHost::report(DWORD pid) const {
  for (const Peer& peer : peers_) {
    if (peer.pid == pid) return testing_support::read_native_file(peer.report_file);
  }
  return "";
}

void PeerHost::end_peer(DWORD pid) {
  for (Peer& peer : peers_) {
    if (peer.pid == pid && peer.started.process) {
      platform_test::end_process(peer.started.process.get());
      peer.started.process.reset();
    }
  }
}

std::vector<std::string> PeerHost::captured_lines() const { return testing_support::utf8_lines(output_->lines()); }

std::vector<std::string> PeerHost::lines_with(const std::string& text) const {
  std::vector<std::string> found;
  for (const std::string& line : captured_lines()) {
    if (line.find(text) != std::string::npos) found.push_back(line);
  }
  return found;
}

bool PeerHost::wait_for_line(const std::string& text) const {
  return output_->wait_for_line(text::from_utf8(text), std::chrono::seconds(10));
}

}  // namespace pipe_test
