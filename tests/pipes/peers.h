// Helper programs of the pipe tests started as real processes, each ended when its test ends.
#pragma once

#include <string>
#include <vector>

#include "../platform/child_process.h"
#include "pipes/channel_names.h"

namespace pipe_test {

class PeerHost : public testing_support::FreshHost {
 protected:
  // Peers end before their machine goes.
  void TearDown() override {
    peers_.clear();
    FreshHost::TearDown();
  }
  // Starts `program` with its pid file first and then `arguments`; returns its process id once it
  // has reported it (0 when it did not within 20 s).
  DWORD start_peer(const std::string& program, const std::vector<std::string>& arguments);
  // Ends the peer started as `pid`.
  void end_peer(DWORD pid);
  // The lines written on this machine that contain `text`.
  std::vector<std::string> lines_with(const std::string& text) const;

 private:
  struct Peer {
    DWORD pid;
    platform_test::Started started;
  };
  std::vector<Peer> peers_;
  int next_ = 0;
};

// The pipe of `channel` served by process `pid`.
inline std::u16string peer_pipe(const std::u16string& channel, DWORD pid) {
  return channel_pipe_path(channel_base_name(channel, pid));
}

}  // namespace pipe_test
