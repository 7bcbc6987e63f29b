// Helper programs of the pipe tests started as real processes, each ended when its test ends.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "../platform/child_process.h"
#include "pipes/channel_names.h"
#include "support/debug_output.h"

namespace pipe_test {

class PeerHost : public testing_support::FreshHost {
 protected:
  // Starts capturing the machine's diagnostic lines.
  void SetUp() override;
  // Peers end before their machine goes.
  void TearDown() override {
    peers_.clear();
    output_.reset();
    FreshHost::TearDown();
  }
  // Starts `program` with its pid file first and then `arguments`; returns its process id once it
  // has reported it (0 when it did not within 20 s).
  // With `copy_as`, a copy of the program under that file name in the scratch folder runs instead,
  // so that its image path is this test's alone: in "install/bin", the suite's program folder of
  // the machine's installation folder "install" (recorded in the registry), or elsewhere.
  enum class Placement { suite_folder, elsewhere };
  DWORD start_peer(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& copy_as = "", Placement placement = Placement::suite_folder);
  // What the peer started as `pid` reported (its pid file).
  std::string report(DWORD pid) const;
  // Ends the peer started as `pid`.
  void end_peer(DWORD pid);
  // The diagnostic lines captured so far (UTF-8, without line ends) that contain `text`.
  std::vector<std::string> lines_with(const std::string& text) const;
  // Every line captured so far.
  std::vector<std::string> captured_lines() const;
  // Waits until a line contains `text` (at most 10 s); lines of other processes arrive late under
  // Windows.
  bool wait_for_line(const std::string& text) const;

 private:
  struct Peer {
    DWORD pid;
    std::string report_file;
    platform_test::Started started;
  };
  std::unique_ptr<testing_support::DebugOutput> output_;
  std::vector<Peer> peers_;
  int next_ = 0;
};

// The pipe of `channel` served by process `pid`.
inline std::u16string peer_pipe(const std::u16string& channel, DWORD pid) {
  return channel_pipe_path(channel_base_name(channel, pid));
}

}  // namespace pipe_test
