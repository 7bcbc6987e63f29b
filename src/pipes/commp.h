// The request-and-answer protocol between the programs of the suite over named pipes. A listener
// serves a channel on the pipe named after its own process id; an asker that knows that id sends
// one question and gets one answer back. Each exchange is one connection with one request message
// (the asker's process id, 4 bytes little-endian, then the question) and at most one answer
// message. The pipe names, the framing and the time-outs are shared with the other programs.
#pragma once

#include <functional>
#include <string>

#include "pipes/mem_buf.h"
#include "platform/handle.h"
#include "process/processes.h"
#include "process/run_state.h"

class class_commp : public CProcesses {
 public:
  // Serves requests as bytes; the result is not used.
  using BufferHandler = std::function<void(unsigned long pid, CMemBuf& question, CMemBuf& answer)>;
  // Serves requests as text and returns the answer text.
  using TextHandler = std::function<std::u16string(unsigned long pid, const std::u16string& question)>;

  // How long an asker waits while a listener is busy with another exchange.
  static constexpr DWORD kBusyWait = 600000;
  // How long an asker waits for its answer. A listener may rightly take long (a question to the
  // user, a configuration reload behind a pending decision), so the bound is the same ten minutes
  // that an asker already waits for a busy listener; it only keeps a hung listener from holding
  // the asking thread for ever.
  static constexpr DWORD kAnswerWait = 600000;
  // How long a listener gives one asker for each step: sending its request, taking the answer,
  // closing its end. An asker does each at once, so this only limits a stalled or hostile one.
  static constexpr DWORD kClientStepWait = 5000;

  BufferHandler buffer_handler;
  TextHandler text_handler;
  DWORD connect_timeout = 0;  // milliseconds
  DWORD write_timeout = 0;    // milliseconds
  DWORD busy_timeout = kBusyWait;
  DWORD answer_timeout = kAnswerWait;
  DWORD client_timeout = kClientStepWait;

  // One exchange with listener `pid` (0: this process) on `channel`; the answer is appended to
  // `answer`. 1 once a connection was made, whether or not an answer came; 0 when none was made.
  int ask(unsigned long pid, CMemBuf& question, CMemBuf& answer, const std::u16string& channel);
  // Text form: `result` is the answer text, or "" when no connection was made.
  int ask(std::u16string& result, unsigned long pid, const std::u16string& question, const std::u16string& channel);
  // By name, for the suite's programs: asks the process whose image path contains `process_name`
  // (without case); when none runs, `result` is "" and nothing is sent. The answer is believed
  // only from that process, running from the suite's program folder: when the pipe's server is
  // another process or lies elsewhere, nothing is sent, `result` is "" and the result is 0, as
  // when the program is absent.
  int ask(std::u16string& result, const std::u16string& process_name, const std::u16string& question,
          const std::u16string& channel);

  // Serves `channel` on this thread, one exchange after another, with the handlers set above. It
  // returns (0) only when its pipe cannot be made its own: the name is served already, by another
  // process or another listener. From then on an instance holds the name for as long as the
  // listener runs (the next one is made before the current one goes), so nobody else can take it.
  int listen(const std::u16string& channel);

  // The full pipe path of the current or last exchange.
  const std::u16string& pipe_name() const { return pipe_name_; }

  // Listener: the process id of the current exchange's client as the pipe tells it (not the id its
  // request carries), or 0 when the pipe cannot tell.
  DWORD pipe_client_pid() const { return pipe_client_pid_; }

 private:
  std::u16string use_channel(const std::u16string& channel, unsigned long pid);
  int ask_text(std::u16string& result, unsigned long pid, const std::u16string& question,
               const std::u16string& channel, bool check_server);
  int ask_checked(unsigned long pid, CMemBuf& question, CMemBuf& answer, const std::u16string& channel,
                  bool check_server);
  bool connect();
  bool server_is_suite_program(DWORD expected);
  void exchange(const CMemBuf& question, CMemBuf& answer);
  os::unique_hfile create_instance(bool first);
  os::unique_hfile make_next_instance();
  os::unique_hfile serve_one(os::unique_hfile current, const std::u16string& busy_mutex);
  bool wait_for_client(HANDLE event);
  void answer_request(HANDLE event, const CMemBuf& request);

  std::u16string pipe_name_;
  os::unique_hfile pipe_;
  DWORD pipe_client_pid_ = 0;
};

// The worker threads of background asks.
extern CThreadGroup g_ask_thread_group;

// Asks `process_name` on `channel` from a worker thread and drops the answer; the caller does not
// wait. Nothing is sent when no such process runs.
void ask_in_background(const std::u16string& process_name, const std::u16string& question,
                       const std::u16string& channel);
