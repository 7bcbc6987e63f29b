// The other end of the pipe tests: a listener in a process of its own.
//   pipe_peer <pid file> <mode> <channel> [client time-out ms]
// writes its process id to the pid file and serves the channel with the handler of `mode`:
//   echo    text: "echo:" + question        pid     text: the asker's process id
//   bytes   bytes: the question itself      empty   text: ""
//   slow    text: "slow:" + question after 1500 ms
//   silent  never answers (the handler sleeps for ten minutes)
//   bare    no protocol: a plain pipe named after the channel echoes each message on one connection
//           after another (the benchmark's reference)
//   self    listens with "echo" on a thread of its own, asks itself "me" with process id 0, adds the
//           answer to the report ("<pid> <answer>") and ends
#include <cstdlib>
#include <string>
#include <thread>

#include "pipe_peer_modes.h"
#include "peer_report.h"
#include "pipes/commp.h"
#include "platform/os.h"
#include "text/utf.h"

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const std::string mode = argv[2];
  const std::u16string channel = text::from_utf8(argv[3]);
  const std::string pid = std::to_string(os::GetCurrentProcessId());
  if (mode == "self") {
    std::thread([channel] {
      class_commp own;
      pipe_test::set_handler(own, "echo");
      own.listen(channel);
    }).detach();
    class_commp asker;
    asker.connect_timeout = 2000;
    asker.write_timeout = 2000;
    std::u16string answer;
    asker.ask(answer, 0, u"me", channel);
    pipe_test::write_report(argv[1], pid + " " + text::to_utf8(answer) + "\n");
    std::_Exit(0);  // the listener thread ends with the process, as in the guard
  }
  pipe_test::write_report(argv[1], pid + "\n");
  if (mode == "bare") pipe_test::serve_bare(channel);
  class_commp listener;
  listener.connect_timeout = 2000;
  listener.write_timeout = 2000;
  if (argc > 4) listener.client_timeout = static_cast<DWORD>(std::atol(argv[4]));
  if (!pipe_test::set_handler(listener, mode)) return 2;
  listener.listen(channel);
  return 1;  // the pipe is served by another process already
}
