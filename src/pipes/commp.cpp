#include "pipes/commp.h"

#include <exception>

#include "pipes/channel_names.h"
#include "pipes/message_text.h"
#include "pipes/pipe_io.h"
#include "pipes/pipe_security.h"
#include "process/diagnostics.h"
#include "process/trusted_peers.h"

namespace {

constexpr DWORD kPipeBufferBytes = 1024;
constexpr DWORD kPipeDefaultTimeout = 500;
constexpr DWORD kBusyPollMs = 500;
constexpr DWORD kConnectRetryMs = 10;
constexpr DWORD kWriteRetryMs = 500;
constexpr DWORD kCreateRetryMs = 1000;

// The event on which one exchange's overlapped operations complete (manual reset). Without one,
// Windows waits on the pipe handle itself, which serves as well for one operation at a time.
os::unique_handle make_io_event() { return os::unique_handle(os::CreateEventW(nullptr, TRUE, FALSE, nullptr)); }

// The busy mutex of a channel, held while its listener serves an exchange. A mutex of that name
// that exists already is not ours to hold.
os::unique_handle take_busy_mutex(const std::u16string& name) {
  const std::u16string global_name = u"Global\\" + name;
  os::unique_handle mutex(os::CreateMutexW(nullptr, FALSE, global_name.c_str()));
  if (mutex && os::GetLastError() == ERROR_ALREADY_EXISTS) mutex.reset();
  return mutex;
}

void wait_while_busy(const std::u16string& busy_mutex, DWORD bound) {
  const DWORD start = os::GetTickCount();
  while (global_mutex_exists(busy_mutex) && os::GetTickCount() - start < bound) {
    os::Sleep(kBusyPollMs);
  }
}

void log_refused_message(const MessageRead& read, const std::u16string& pipe_name) {
  if (read.end == MessageEnd::too_large) {
    ODS(u"message too large [%s] : %i", pipe_name, static_cast<int>(kMaxMessageBytes));
  } else if (read.end == MessageEnd::timed_out) {
    ODS(u"read time-out [%s] : %i", pipe_name, static_cast<int>(read.error));
  }
}

}  // namespace

std::u16string class_commp::use_channel(const std::u16string& channel, unsigned long pid) {
  const std::u16string base = channel_base_name(channel, pid);
  pipe_name_ = channel_pipe_path(base);
  return base;
}

int class_commp::ask(unsigned long pid, CMemBuf& question, CMemBuf& answer, const std::u16string& channel) {
  return ask_checked(pid, question, answer, channel, false);
}

int class_commp::ask_checked(unsigned long pid, CMemBuf& question, CMemBuf& answer, const std::u16string& channel,
                             bool check_server) {
  const std::u16string base = use_channel(channel, pid);
  wait_while_busy(channel_busy_mutex(base), busy_timeout);
  if (!connect()) return 0;
  if (check_server && !server_is_suite_program(pid == 0 ? os::GetCurrentProcessId() : pid)) {
    pipe_.reset();
    return 0;
  }
  exchange(question, answer);
  pipe_.reset();
  return 1;
}

int class_commp::ask(std::u16string& result, unsigned long pid, const std::u16string& question,
                     const std::u16string& channel) {
  return ask_text(result, pid, question, channel, false);
}

int class_commp::ask(std::u16string& result, const std::u16string& process_name, const std::u16string& question,
                     const std::u16string& channel) {
  result.clear();
  const DWORD pid = pid_by_name(process_name);
  if (pid == 0) return 0;
  return ask_text(result, pid, question, channel, true);
}

int class_commp::ask_text(std::u16string& result, unsigned long pid, const std::u16string& question,
                          const std::u16string& channel, bool check_server) {
  result.clear();
  CMemBuf request;
  CMemBuf answer;
  if (!append_message_text(request, question)) return 0;
  const int connected = ask_checked(pid, request, answer, channel, check_server);
  if (connected) result = message_text(answer.data(), answer.size());
  return connected;
}

// A program that merely carries a suite program's name, or a process that took the pipe's name,
// must not answer for it: the server has to be the process that was looked up, and run from the
// suite's program folder.
bool class_commp::server_is_suite_program(DWORD expected) {
  ULONG server = 0;
  if (!os::GetNamedPipeServerProcessId(pipe_.get(), &server) || server != expected) {
    ODS(u"ask peer refused [%s] : %i", pipe_name_, static_cast<int>(server));
    return false;
  }
  std::u16string image;
  if (!is_suite_program(server, image)) {
    ODS(u"ask peer refused [%s] : %i [%s]", pipe_name_, static_cast<int>(server), image);
    return false;
  }
  return true;
}

bool class_commp::connect() {
  const DWORD start = os::GetTickCount();
  while (os::GetTickCount() - start < connect_timeout) {
    os::unique_hfile handle(os::CreateFileW(pipe_name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr));
    if (handle) {
      DWORD mode = PIPE_READMODE_MESSAGE;
      if (os::SetNamedPipeHandleState(handle.get(), &mode, nullptr, nullptr)) {
        pipe_ = std::move(handle);
        return true;
      }
    }
    os::Sleep(kConnectRetryMs);
  }
  return false;
}

void class_commp::exchange(const CMemBuf& question, CMemBuf& answer) {
  CMemBuf request;
  const DWORD own_pid = os::GetCurrentProcessId();
  const std::uint8_t pid_bytes[4] = {static_cast<std::uint8_t>(own_pid), static_cast<std::uint8_t>(own_pid >> 8),
                                     static_cast<std::uint8_t>(own_pid >> 16), static_cast<std::uint8_t>(own_pid >> 24)};
  if (!request.Append(pid_bytes, 4) || !request.Append(question.data(), question.size())) {
    ODS(u"ask write error [%s] : %i", pipe_name_, static_cast<int>(ERROR_NOT_ENOUGH_MEMORY));
    return;
  }
  const os::unique_handle event = make_io_event();
  const DWORD start = os::GetTickCount();
  while (os::GetTickCount() - start < write_timeout) {
    const DWORD error = write_message(pipe_.get(), event.get(), request, time_left(start, write_timeout));
    if (error == ERROR_SUCCESS) {
      log_refused_message(read_message(pipe_.get(), event.get(), answer, answer_timeout), pipe_name_);
      return;
    }
    ODS(u"ask write error [%s] : %i", pipe_name_, static_cast<int>(error));
    // A write that ran out of time may have sent part of the request: another try would garble it.
    if (error == ERROR_TIMEOUT) return;
    os::Sleep(kWriteRetryMs);
  }
}

int class_commp::listen(const std::u16string& channel) {
  const std::u16string base = use_channel(channel, 0);
  ODS(u"listener [%s]", pipe_name_);
  const std::u16string busy_mutex = channel_busy_mutex(base);
  // The first instance must be a new pipe: one that exists already belongs to somebody else, who
  // would receive the askers' questions or answer them.
  os::unique_hfile current = create_instance(true);
  if (!current) {
    ODS(u"pipe error [%s] : %i", pipe_name_, static_cast<int>(os::GetLastError()));
    return 0;
  }
  for (;;) current = serve_one(std::move(current), busy_mutex);
}

os::unique_hfile class_commp::create_instance(bool first) {
  PipeSecurity security;
  return os::unique_hfile(os::CreateNamedPipeW(
      pipe_name_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, kPipeBufferBytes,
      kPipeBufferBytes, kPipeDefaultTimeout, security.attributes()));
}

// The next instance, made while the current one still holds the name; until it can be made, the
// current instance stays.
os::unique_hfile class_commp::make_next_instance() {
  os::unique_hfile next = create_instance(false);
  while (!next) {
    ODS(u"pipe error [%s] : %i", pipe_name_, static_cast<int>(os::GetLastError()));
    os::Sleep(kCreateRetryMs);
    next = create_instance(false);
  }
  return next;
}

// Serves one exchange on `current` and returns the instance that listens next. The next instance
// is made before the current one is closed, so the pipe's name is never free for another process
// to take. It is made once the exchange is over: while it lasts, the connected instance holds the
// name and further askers find the pipe busy, one exchange at a time as before.
os::unique_hfile class_commp::serve_one(os::unique_hfile current, const std::u16string& busy_mutex) {
  pipe_ = std::move(current);
  pipe_client_pid_ = 0;
  const os::unique_handle event = make_io_event();
  os::unique_hfile next;
  if (wait_for_client(event.get())) {
    ULONG client = 0;
    if (os::GetNamedPipeClientProcessId(pipe_.get(), &client)) pipe_client_pid_ = client;
    const os::unique_handle busy = take_busy_mutex(busy_mutex);
    CMemBuf request;
    const MessageRead read = read_message(pipe_.get(), event.get(), request, client_timeout);
    log_refused_message(read, pipe_name_);
    // A request without the asker's id gets no answer.
    if (request.size() >= 4) answer_request(event.get(), request);
    os::DisconnectNamedPipe(pipe_.get());
    next = make_next_instance();
    pipe_.reset();  // the instance goes before the busy mutex
  }
  if (!next) next = make_next_instance();
  pipe_.reset();
  pipe_client_pid_ = 0;
  return next;
}

bool class_commp::wait_for_client(HANDLE event) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = event;
  if (os::ConnectNamedPipe(pipe_.get(), &overlapped)) return true;
  const DWORD error = os::GetLastError();
  if (error == ERROR_PIPE_CONNECTED) return true;
  if (error != ERROR_IO_PENDING) return false;
  DWORD unused = 0;
  return os::GetOverlappedResult(pipe_.get(), &overlapped, &unused, TRUE) != FALSE;
}

void class_commp::answer_request(HANDLE event, const CMemBuf& request) {
  const std::uint8_t* bytes = request.data();
  const unsigned long asker = static_cast<unsigned long>(bytes[0]) | static_cast<unsigned long>(bytes[1]) << 8 |
                              static_cast<unsigned long>(bytes[2]) << 16 | static_cast<unsigned long>(bytes[3]) << 24;
  CMemBuf question;
  question.Borrow(bytes + 4, request.size() - 4);
  CMemBuf answer;
  // A handler that fails leaves the answer empty; the listener goes on.
  try {
    if (buffer_handler) {
      buffer_handler(asker, question, answer);
    } else if (text_handler) {
      if (!append_message_text(answer, text_handler(asker, message_text(question.data(), question.size())))) {
        answer.Clear();
      }
    }
  } catch (const std::exception&) {
    answer.Clear();
  }
  const DWORD error = write_message(pipe_.get(), event, answer, client_timeout);
  if (error != ERROR_SUCCESS) {
    ODS(u"listen write error [%s] : %i", pipe_name_, static_cast<int>(error));
    return;
  }
  // Disconnecting throws away what the asker has not read yet, so wait until it has closed its
  // end. Unlike FlushFileBuffers, this wait has a bound: an asker that never reads cannot hold
  // the listener.
  wait_for_hang_up(pipe_.get(), event, client_timeout);
}
