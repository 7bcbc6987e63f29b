// The other end of the pipe tests: a listener in a process of its own.
//   pipe_peer <pid file> <mode> <channel> [client time-out ms]
// writes its process id to the pid file and serves the channel with the handler of `mode`:
//   echo    text: "echo:" + question        pid     text: the asker's process id
//   bytes   bytes: the question itself      empty   text: ""
//   slow    text: "slow:" + question after 1500 ms
//   silent  never answers (the handler sleeps for ten minutes)
//   bare    no protocol: a plain pipe named after the channel echoes each message on one connection
//           after another (the benchmark's reference)
#include <cstdlib>
#include <string>

#include "pipe_peer_modes.h"
#include "peer_report.h"
#include "pipes/commp.h"
#include "platform/os.h"
#include "text/utf.h"

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const std::string mode = argv[2];
  const std::u16string channel = text::from_utf8(argv[3]);
  pipe_test::write_report(argv[1], std::to_string(os::GetCurrentProcessId()) + "\n");
  if (mode == "bare") pipe_test::serve_bare(channel);
  class_commp listener;
  listener.connect_timeout = 2000;
  listener.write_timeout = 2000;
  if (argc > 4) listener.client_timeout = static_cast<DWORD>(std::atol(argv[4]));
  if (!pipe_test::set_handler(listener, mode)) return 2;
  listener.listen(channel);
}
