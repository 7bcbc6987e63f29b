// Named pipes of the simulated host: the Win32 calls over the transport of pipe_transport.h.
// A pipe handle is a kernel object holding one end of one connection. Overlapped operations keep
// their progress here and move on inside GetOverlappedResult(Ex) (see os.h).
#include "platform/sim/named_pipes.h"

#include <mutex>
#include <optional>

#include "platform/sim/handles.h"
#include "platform/sim/pipe_transport.h"

namespace os::sim {

using pipes::Connection;
using pipes::Deadline;

class PipeEnd : public KernelObject {
 public:
  enum class State { listening, connected, disconnected };

  // An overlapped operation that has not completed yet.
  struct Operation {
    enum class Kind { connect, read, write };
    Kind kind = Kind::read;
    OVERLAPPED* overlapped = nullptr;
    pipes::ReadOp read;
    pipes::WriteOp write;
  };

  ~PipeEnd() override {
    connection.reset();
    pipes::remove_instance(listener);
  }

  bool server = false;
  bool can_read = false;
  bool can_write = false;
  bool message_type = true;   // server: the pipe was created as a message pipe
  bool message_read = false;  // read mode of this handle
  State state = State::listening;
  std::shared_ptr<pipes::Listener> listener;  // server only
  std::unique_ptr<Connection> connection;
  std::optional<Operation> pending;
  std::mutex lock;  // one call at a time on a handle, as on a synchronous Windows handle
};

namespace {

constexpr std::u16string_view kPipePrefix = u"pipe";

bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }

// The pipe's own name (after "\\.\pipe\"), with "/" written as "\", or nothing.
std::optional<std::u16string> pipe_name(std::u16string_view path) {
  if (path.size() < 10 || !is_separator(path[0]) || !is_separator(path[1]) || path[2] != u'.' ||
      !is_separator(path[3]) || !is_separator(path[8])) {
    return std::nullopt;
  }
  for (std::size_t i = 0; i < kPipePrefix.size(); ++i) {
    const char16_t c = path[4 + i];
    if ((c | 0x20) != kPipePrefix[i]) return std::nullopt;
  }
  std::u16string name(path.substr(9));
  for (char16_t& c : name) {
    if (c == u'/') c = u'\\';
  }
  return name;
}

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

HANDLE fail_handle(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

// The outcome of a finished operation as ReadFile and its kin report it.
BOOL report(DWORD status, DWORD transferred, DWORD* out) {
  if (out) *out = transferred;
  if (status == ERROR_SUCCESS) return TRUE;
  return fail(status);
}

void complete(OVERLAPPED* overlapped, DWORD status, DWORD transferred) {
  overlapped->Internal = status;
  overlapped->InternalHigh = transferred;
  if (overlapped->hEvent) SetEvent(overlapped->hEvent);
}

DWORD transferred(const PipeEnd::Operation& op) {
  switch (op.kind) {
    case PipeEnd::Operation::Kind::read:
      return op.read.done;
    case PipeEnd::Operation::Kind::write:
      return op.write.sent > 4 ? static_cast<DWORD>(op.write.sent - 4) : 0;
    case PipeEnd::Operation::Kind::connect:
      break;
  }
  return 0;
}

// Moves an operation on until it completes or the deadline passes (ERROR_IO_PENDING).
DWORD advance(PipeEnd& pipe, PipeEnd::Operation& op, Deadline deadline) {
  switch (op.kind) {
    case PipeEnd::Operation::Kind::connect: {
      int fd = -1;
      const DWORD status = pipes::accept_client(*pipe.listener, deadline, fd);
      if (status == ERROR_SUCCESS) {
        pipe.connection = std::make_unique<Connection>(fd);
        pipe.state = PipeEnd::State::connected;
      }
      return status;
    }
    case PipeEnd::Operation::Kind::read:
      return pipe.connection->read(op.read, deadline);
    case PipeEnd::Operation::Kind::write:
      return pipe.connection->write(op.write, deadline);
  }
  return ERROR_INVALID_FUNCTION;
}

// Runs a read or write: to the end without an OVERLAPPED, else as far as it goes at once.
BOOL start(PipeEnd& pipe, PipeEnd::Operation op, DWORD* out) {
  if (!op.overlapped) {
    const DWORD status = advance(pipe, op, Deadline::never());
    return report(status, transferred(op), out);
  }
  if (pipe.pending) return fail(ERROR_CALL_NOT_IMPLEMENTED);  // one operation at a time per handle
  op.overlapped->Internal = STATUS_PENDING;
  op.overlapped->InternalHigh = 0;
  if (op.overlapped->hEvent) ResetEvent(op.overlapped->hEvent);
  const DWORD status = advance(pipe, op, Deadline::now());
  if (status == ERROR_IO_PENDING) {
    pipe.pending = op;
    return fail(ERROR_IO_PENDING);
  }
  complete(op.overlapped, status, transferred(op));
  return report(status, transferred(op), out);
}

// Why a read or write cannot run on this end now, or 0.
DWORD not_ready(const PipeEnd& pipe, bool allowed) {
  if (pipe.state == PipeEnd::State::listening) return ERROR_PIPE_LISTENING;
  if (pipe.state == PipeEnd::State::disconnected || !pipe.connection) return ERROR_PIPE_NOT_CONNECTED;
  return allowed ? 0 : ERROR_ACCESS_DENIED;
}

bool valid_descriptor(const SECURITY_ATTRIBUTES* security) {
  if (!security || !security->lpSecurityDescriptor) return true;
  return static_cast<const SECURITY_DESCRIPTOR*>(security->lpSecurityDescriptor)->Revision ==
         SECURITY_DESCRIPTOR_REVISION;
}

std::shared_ptr<PipeEnd> server_end(HANDLE handle) {
  auto pipe = find_handle_as<PipeEnd>(handle);
  if (pipe && !pipe->server) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return nullptr;
  }
  return pipe;
}

}  // namespace

bool is_pipe_path(std::u16string_view path) {
  const auto name = pipe_name(path);
  return name && !name->empty();
}

HANDLE open_pipe_client(std::u16string_view path, DWORD access, DWORD, DWORD) {
  const auto name = pipe_name(path);
  if (!name || name->empty()) return fail_handle(ERROR_FILE_NOT_FOUND);
  int fd = -1;
  if (const DWORD status = pipes::connect_client(pipes::socket_name(*name), fd)) return fail_handle(status);
  auto pipe = std::make_shared<PipeEnd>();
  pipe->connection = std::make_unique<Connection>(fd);
  pipe->state = PipeEnd::State::connected;
  pipe->can_read = (access & (GENERIC_READ | GENERIC_ALL | 0x0001)) != 0;
  pipe->can_write = (access & (GENERIC_WRITE | GENERIC_ALL | 0x0002)) != 0;
  return add_handle(std::move(pipe));
}

std::shared_ptr<PipeEnd> find_pipe(HANDLE handle) {
  const DWORD saved = GetLastError();
  auto pipe = std::dynamic_pointer_cast<PipeEnd>(find_handle(handle));
  SetLastError(saved);
  return pipe;
}

BOOL pipe_read_file(PipeEnd& pipe, void* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped) {
  std::lock_guard guard(pipe.lock);
  if (read) *read = 0;
  if (const DWORD error = not_ready(pipe, pipe.can_read)) return fail(error);
  PipeEnd::Operation op;
  op.kind = PipeEnd::Operation::Kind::read;
  op.overlapped = overlapped;
  op.read.buffer = static_cast<std::uint8_t*>(buffer);
  op.read.count = count;
  op.read.message_mode = pipe.message_read;
  return start(pipe, op, read);
}

BOOL pipe_write_file(PipeEnd& pipe, const void* buffer, DWORD count, DWORD* written, OVERLAPPED* overlapped) {
  std::lock_guard guard(pipe.lock);
  if (written) *written = 0;
  if (const DWORD error = not_ready(pipe, pipe.can_write)) return fail(error);
  PipeEnd::Operation op;
  op.kind = PipeEnd::Operation::Kind::write;
  op.overlapped = overlapped;
  op.write = Connection::make_write(buffer, count);
  return start(pipe, op, written);
}

BOOL pipe_flush(PipeEnd& pipe) {
  std::lock_guard guard(pipe.lock);
  if (const DWORD error = not_ready(pipe, true)) return fail(error);
  return report(pipe.connection->drain(Deadline::never()), 0, nullptr);
}

}  // namespace os::sim

namespace os {

using sim::PipeEnd;

HANDLE CreateNamedPipeW(const char16_t* name, DWORD open_mode, DWORD pipe_mode, DWORD max_instances, DWORD, DWORD,
                        DWORD, SECURITY_ATTRIBUTES* security) {
  const auto pipe_name = name ? sim::pipe_name(name) : std::nullopt;
  // Outside the pipe folder the name leads nowhere, as Windows finds.
  if (!pipe_name) return sim::fail_handle(ERROR_PATH_NOT_FOUND);
  if (pipe_name->empty()) return sim::fail_handle(ERROR_INVALID_NAME);
  const DWORD access = open_mode & PIPE_ACCESS_DUPLEX;
  const bool message_type = (pipe_mode & PIPE_TYPE_MESSAGE) != 0;
  if (access == 0 || max_instances == 0 || max_instances > PIPE_UNLIMITED_INSTANCES ||
      ((pipe_mode & PIPE_READMODE_MESSAGE) && !message_type)) {
    return sim::fail_handle(ERROR_INVALID_PARAMETER);
  }
  if (pipe_mode & PIPE_NOWAIT) return sim::fail_handle(ERROR_CALL_NOT_IMPLEMENTED);
  if (!sim::valid_descriptor(security)) return sim::fail_handle(ERROR_INVALID_SECURITY_DESCR);
  auto listener = sim::pipes::add_instance(sim::pipes::socket_name(*pipe_name), max_instances,
                                           (open_mode & FILE_FLAG_FIRST_PIPE_INSTANCE) != 0);
  if (!listener) return INVALID_HANDLE_VALUE;
  auto pipe = std::make_shared<PipeEnd>();
  pipe->server = true;
  pipe->listener = std::move(listener);
  pipe->can_read = (access & PIPE_ACCESS_INBOUND) != 0;
  pipe->can_write = (access & PIPE_ACCESS_OUTBOUND) != 0;
  pipe->message_type = message_type;
  pipe->message_read = (pipe_mode & PIPE_READMODE_MESSAGE) != 0;
  return sim::add_handle(std::move(pipe));
}

BOOL ConnectNamedPipe(HANDLE handle, OVERLAPPED* overlapped) {
  auto pipe = sim::server_end(handle);
  if (!pipe) return FALSE;
  std::lock_guard guard(pipe->lock);
  if (pipe->state == PipeEnd::State::connected) return sim::fail(ERROR_PIPE_CONNECTED);
  if (pipe->pending) return sim::fail(ERROR_CALL_NOT_IMPLEMENTED);
  PipeEnd::Operation op;
  op.kind = PipeEnd::Operation::Kind::connect;
  op.overlapped = overlapped;
  // A client that is already waiting has connected "before the call", as Windows puts it.
  DWORD status = sim::advance(*pipe, op, sim::pipes::Deadline::now());
  if (status == ERROR_SUCCESS) return sim::fail(ERROR_PIPE_CONNECTED);
  if (status != ERROR_IO_PENDING) return sim::fail(status);
  if (!overlapped) return sim::report(sim::advance(*pipe, op, sim::pipes::Deadline::never()), 0, nullptr);
  overlapped->Internal = STATUS_PENDING;
  overlapped->InternalHigh = 0;
  if (overlapped->hEvent) ResetEvent(overlapped->hEvent);
  pipe->pending = op;
  return sim::fail(ERROR_IO_PENDING);
}

BOOL DisconnectNamedPipe(HANDLE handle) {
  auto pipe = sim::server_end(handle);
  if (!pipe) return FALSE;
  std::lock_guard guard(pipe->lock);
  if (pipe->pending) {
    sim::complete(pipe->pending->overlapped, ERROR_PIPE_NOT_CONNECTED, sim::transferred(*pipe->pending));
    pipe->pending.reset();
  }
  pipe->connection.reset();  // unread data goes with it, as on Windows
  pipe->state = PipeEnd::State::disconnected;
  return TRUE;
}

BOOL SetNamedPipeHandleState(HANDLE handle, DWORD* mode, DWORD* max_collection_count, DWORD* collect_data_timeout) {
  auto pipe = sim::find_handle_as<PipeEnd>(handle);
  if (!pipe) return FALSE;
  // Collection settings belong to byte pipes between two machines; the simulated host is one.
  if (max_collection_count || collect_data_timeout) return sim::fail(ERROR_INVALID_PARAMETER);
  if (!mode) return TRUE;
  if (*mode & PIPE_NOWAIT) return sim::fail(ERROR_CALL_NOT_IMPLEMENTED);
  if (*mode & ~(PIPE_READMODE_MESSAGE | PIPE_NOWAIT)) return sim::fail(ERROR_INVALID_PARAMETER);
  const bool message = (*mode & PIPE_READMODE_MESSAGE) != 0;
  std::lock_guard guard(pipe->lock);
  if (message && pipe->server && !pipe->message_type) return sim::fail(ERROR_INVALID_PARAMETER);
  pipe->message_read = message;
  return TRUE;
}

BOOL GetOverlappedResultEx(HANDLE handle, OVERLAPPED* overlapped, DWORD* transferred, DWORD milliseconds, BOOL) {
  auto pipe = sim::find_handle_as<PipeEnd>(handle);
  if (!pipe) return FALSE;
  if (!overlapped) return sim::fail(ERROR_INVALID_PARAMETER);
  std::lock_guard guard(pipe->lock);
  if (pipe->pending && pipe->pending->overlapped == overlapped) {
    PipeEnd::Operation& op = *pipe->pending;
    const DWORD status = sim::advance(*pipe, op, sim::pipes::Deadline::after(milliseconds));
    if (status == ERROR_IO_PENDING) return sim::fail(milliseconds == 0 ? ERROR_IO_INCOMPLETE : WAIT_TIMEOUT);
    sim::complete(overlapped, status, sim::transferred(op));
    pipe->pending.reset();
  }
  // Internal holds the Win32 code of a completed operation here (Windows keeps an NTSTATUS).
  if (overlapped->Internal == STATUS_PENDING) return sim::fail(ERROR_IO_INCOMPLETE);
  return sim::report(static_cast<DWORD>(overlapped->Internal), static_cast<DWORD>(overlapped->InternalHigh),
                     transferred);
}

BOOL GetOverlappedResult(HANDLE handle, OVERLAPPED* overlapped, DWORD* transferred, BOOL wait) {
  return GetOverlappedResultEx(handle, overlapped, transferred, wait ? INFINITE : 0, FALSE);
}

namespace {

// The process at one end of a pipe handle's connection: the caller's own for its own end, the
// connection's peer for the other. Without a client there is no connection to ask.
BOOL pipe_end_process_id(HANDLE handle, bool client_end, ULONG* pid) {
  auto pipe = sim::find_handle_as<PipeEnd>(handle);
  if (!pipe) return FALSE;
  if (!pid) return sim::fail(ERROR_INVALID_PARAMETER);
  std::lock_guard guard(pipe->lock);
  if (pipe->server != client_end) {
    *pid = GetCurrentProcessId();
    return TRUE;
  }
  if (pipe->state != PipeEnd::State::connected || !pipe->connection) return sim::fail(ERROR_PIPE_NOT_CONNECTED);
  const DWORD peer = pipe->connection->peer_process_id();
  if (peer == 0) return sim::fail(ERROR_NOT_SUPPORTED);
  *pid = peer;
  return TRUE;
}

}  // namespace

BOOL GetNamedPipeClientProcessId(HANDLE pipe, ULONG* pid) { return pipe_end_process_id(pipe, true, pid); }

BOOL GetNamedPipeServerProcessId(HANDLE pipe, ULONG* pid) { return pipe_end_process_id(pipe, false, pid); }

BOOL CancelIoEx(HANDLE handle, OVERLAPPED* overlapped) {
  auto pipe = sim::find_handle_as<PipeEnd>(handle);
  if (!pipe) return FALSE;
  std::lock_guard guard(pipe->lock);
  if (!pipe->pending || (overlapped && pipe->pending->overlapped != overlapped)) return sim::fail(ERROR_NOT_FOUND);
  const PipeEnd::Operation& op = *pipe->pending;
  // Half a message must not reach the reader as if it were whole.
  if (op.kind == PipeEnd::Operation::Kind::write && op.write.sent > 0) pipe->connection->cut_writes();
  sim::complete(op.overlapped, ERROR_OPERATION_ABORTED, sim::transferred(op));
  pipe->pending.reset();
  return TRUE;
}

}  // namespace os
