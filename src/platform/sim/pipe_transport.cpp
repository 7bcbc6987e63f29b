#include "platform/sim/pipe_transport.h"

#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/sim/abstract_socket.h"
#include "text/chars.h"
#include "text/utf.h"

namespace os::sim::pipes {

Deadline Deadline::after(DWORD milliseconds) {
  if (milliseconds == INFINITE) return never();
  return Deadline(Clock::now() + std::chrono::milliseconds(milliseconds));
}

int Deadline::poll_timeout() const {
  if (!at_) return -1;
  const auto left = *at_ - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

namespace {

// Waits for `events` on `fd`: 0 when something happened, ERROR_IO_PENDING when the deadline passed.
DWORD poll_fd(int fd, short events, Deadline deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int ready = ::poll(&p, 1, deadline.poll_timeout());
    if (ready > 0) return ERROR_SUCCESS;
    if (ready == 0) return ERROR_IO_PENDING;
    if (errno != EINTR) return ERROR_BROKEN_PIPE;
  }
}

}  // namespace

std::string socket_name(std::u16string_view pipe_name) {
  const std::string key = canonical_root() + "\n" + text::to_utf8(text::lower_az(pipe_name));
  return hashed_socket_name("vostusb-pipe-", key);
}

Connection::~Connection() { ::close(fd_); }

DWORD Connection::wait_for(short events, Deadline deadline) { return poll_fd(fd_, events, deadline); }

DWORD Connection::read(ReadOp& op, Deadline deadline) {
  for (;;) {
    if (!in_message_) {
      std::size_t got = 0;
      if (const DWORD status = receive(header_ + header_have_, 4 - static_cast<std::size_t>(header_have_), deadline, got)) {
        return status;
      }
      header_have_ += static_cast<int>(got);
      if (header_have_ < 4) continue;
      header_have_ = 0;
      remaining_ = static_cast<std::uint32_t>(header_[0]) | static_cast<std::uint32_t>(header_[1]) << 8 |
                   static_cast<std::uint32_t>(header_[2]) << 16 | static_cast<std::uint32_t>(header_[3]) << 24;
      // A byte-mode reader does not see empty messages.
      in_message_ = op.message_mode || remaining_ > 0;
      continue;
    }
    const DWORD want = std::min<DWORD>(op.count - op.done, remaining_);
    if (want == 0) {
      if (remaining_ > 0) return op.message_mode ? ERROR_MORE_DATA : ERROR_SUCCESS;
      in_message_ = false;
      return ERROR_SUCCESS;
    }
    std::size_t got = 0;
    if (const DWORD status = receive(op.buffer + op.done, want, deadline, got)) return status;
    op.done += static_cast<DWORD>(got);
    remaining_ -= static_cast<std::uint32_t>(got);
  }
}

DWORD Connection::receive(void* into, std::size_t size, Deadline deadline, std::size_t& got) {
  for (;;) {
    const ssize_t n = ::recv(fd_, into, size, 0);
    if (n > 0) {
      got = static_cast<std::size_t>(n);
      return ERROR_SUCCESS;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      if (const DWORD waited = wait_for(POLLIN, deadline)) return waited;
      continue;
    }
    return ERROR_BROKEN_PIPE;  // closed by the other side, or failed
  }
}

WriteOp Connection::make_write(const void* data, DWORD count) {
  WriteOp op;
  op.data = static_cast<const std::uint8_t*>(data);
  op.count = count;
  for (int i = 0; i < 4; ++i) op.header[i] = static_cast<std::uint8_t>(count >> (8 * i));
  return op;
}

DWORD Connection::write(WriteOp& op, Deadline deadline) {
  if (writes_cut_) return ERROR_NO_DATA;
  const std::uint64_t total = 4 + static_cast<std::uint64_t>(op.count);
  while (op.sent < total) {
    iovec parts[2];
    int count = 0;
    if (op.sent < 4) {
      parts[count++] = {op.header + op.sent, static_cast<std::size_t>(4 - op.sent)};
      if (op.count > 0) parts[count++] = {const_cast<std::uint8_t*>(op.data), op.count};
    } else {
      const std::uint64_t body = op.sent - 4;
      parts[count++] = {const_cast<std::uint8_t*>(op.data + body), static_cast<std::size_t>(op.count - body)};
    }
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = static_cast<std::size_t>(count);
    const ssize_t n = ::sendmsg(fd_, &message, MSG_NOSIGNAL);
    if (n >= 0) {
      op.sent += static_cast<std::uint64_t>(n);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN) {
      if (const DWORD waited = wait_for(POLLOUT, deadline)) return waited;
      continue;
    }
    return ERROR_NO_DATA;  // the reader has closed its end: "the pipe is being closed"
  }
  return ERROR_SUCCESS;
}

DWORD Connection::drain(Deadline deadline) {
  for (;;) {
    int unread = 0;
    if (::ioctl(fd_, SIOCOUTQ, &unread) != 0 || unread <= 0) return ERROR_SUCCESS;
    pollfd p{fd_, POLLRDHUP, 0};
    const int wait = deadline.poll_timeout();
    const int ready = ::poll(&p, 1, wait < 0 || wait > 1 ? 1 : wait);
    if (ready > 0) return ERROR_SUCCESS;  // the peer has gone; nothing more will be read
    if (ready == 0 && wait == 0) return ERROR_IO_PENDING;
  }
}

DWORD Connection::peer_process_id() const {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (::getsockopt(fd_, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 || credentials.pid <= 0) return 0;
  return static_cast<DWORD>(credentials.pid);
}

void Connection::cut_writes() {
  writes_cut_ = true;
  ::shutdown(fd_, SHUT_WR);
}

class Listener {
 public:
  std::string name;
  int fd = -1;
  DWORD max_instances = 0;
  DWORD instances = 0;
};

namespace {

struct Registry {
  std::mutex lock;
  std::map<std::string, std::shared_ptr<Listener>> listeners;
};

Registry& registry() {
  static Registry* r = new Registry;  // lives until exit; late destructors may still close pipes
  return *r;
}

}  // namespace

std::shared_ptr<Listener> add_instance(const std::string& name, DWORD max_instances, bool first_only) {
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  if (auto it = r.listeners.find(name); it != r.listeners.end()) {
    const std::shared_ptr<Listener>& listener = it->second;
    if (first_only) {
      SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
    if (listener->instances >= listener->max_instances) {
      SetLastError(ERROR_PIPE_BUSY);
      return nullptr;
    }
    ++listener->instances;
    return listener;
  }
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    return nullptr;
  }
  sockaddr_un address;
  const socklen_t length = abstract_address(name, address);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, SOMAXCONN) != 0) {
    // Another process serves this pipe: its instances are not ours to add to.
    SetLastError(errno == EADDRINUSE ? ERROR_ACCESS_DENIED : ERROR_INVALID_NAME);
    ::close(fd);
    return nullptr;
  }
  auto listener = std::make_shared<Listener>();
  listener->name = name;
  listener->fd = fd;
  listener->max_instances = max_instances;
  listener->instances = 1;
  r.listeners.emplace(name, listener);
  return listener;
}

void remove_instance(std::shared_ptr<Listener>& listener) {
  if (!listener) return;
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  if (--listener->instances == 0) {
    ::close(listener->fd);
    listener->fd = -1;
    r.listeners.erase(listener->name);
  }
  listener.reset();
}

DWORD accept_client(Listener& listener, Deadline deadline, int& fd) {
  for (;;) {
    const int client = ::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (client < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno != EAGAIN) return ERROR_BROKEN_PIPE;
      if (const DWORD waited = poll_fd(listener.fd, POLLIN, deadline)) return waited;
      continue;
    }
    // A client that gave up waiting has closed its end: skip it.
    pollfd p{client, POLLRDHUP, 0};
    const std::uint8_t accepted = 1;
    if (::poll(&p, 1, 0) != 0 || ::send(client, &accepted, 1, MSG_NOSIGNAL) != 1) {
      ::close(client);
      continue;
    }
    fd = client;
    return ERROR_SUCCESS;
  }
}

DWORD connect_client(const std::string& name, int& fd) {
  const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (client < 0) return ERROR_TOO_MANY_OPEN_FILES;
  sockaddr_un address;
  const socklen_t length = abstract_address(name, address);
  if (::connect(client, reinterpret_cast<sockaddr*>(&address), length) != 0) {
    const int error = errno;
    ::close(client);
    return error == ECONNREFUSED || error == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_PIPE_BUSY;
  }
  std::uint8_t accepted = 0;
  if (poll_fd(client, POLLIN, Deadline::after(kAcceptWaitMs)) != ERROR_SUCCESS ||
      ::recv(client, &accepted, 1, 0) != 1 || accepted != 1) {
    ::close(client);
    return ERROR_PIPE_BUSY;
  }
  fd = client;
  return ERROR_SUCCESS;
}

}  // namespace os::sim::pipes
