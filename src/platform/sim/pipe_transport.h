// The simulated host's named-pipe transport: a pipe is an AF_UNIX stream socket in the abstract
// namespace, named from a hash of the sim root and the pipe name. Every message travels as a 4-byte
// little-endian length and its bytes. A server accepts a client by sending it one byte (1); a
// client that does not get that byte in time counts the pipe as busy. docs/sim-pipes.md describes
// the transport for programs in other languages.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/os.h"

namespace os::sim::pipes {

using Clock = std::chrono::steady_clock;

// When a wait gives up: never, now (try without waiting) or at a time.
class Deadline {
 public:
  static Deadline never() { return Deadline(std::nullopt); }
  static Deadline now() { return Deadline(Clock::now()); }
  static Deadline after(DWORD milliseconds);
  // Milliseconds for poll(): -1 for never, 0 once passed.
  int poll_timeout() const;

 private:
  explicit Deadline(std::optional<Clock::time_point> at) : at_(at) {}
  std::optional<Clock::time_point> at_;
};

// How long a client waits for a server to accept it before it counts the pipe as busy.
inline constexpr DWORD kAcceptWaitMs = 50;

// The abstract socket name (without its leading NUL) of "\\.\pipe\<name>" on this machine:
// "vostusb-pipe-" + hex SHA-256 of "<real path of the sim root>\n<name, ASCII letters lower-cased>".
std::string socket_name(std::u16string_view pipe_name);

// A read or write in progress; it can be resumed after its deadline passed.
struct ReadOp {
  std::uint8_t* buffer = nullptr;
  DWORD count = 0;
  DWORD done = 0;
  bool message_mode = true;
};

struct WriteOp {
  const std::uint8_t* data = nullptr;
  DWORD count = 0;
  std::uint8_t header[4] = {};
  std::uint64_t sent = 0;  // header bytes included
};

// Results of the steps below: ERROR_SUCCESS; ERROR_MORE_DATA (read complete, message goes on);
// ERROR_IO_PENDING (deadline passed, call again); or a failure code.
class Connection {
 public:
  explicit Connection(int fd) : fd_(fd) {}
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();

  DWORD read(ReadOp& op, Deadline deadline);
  static WriteOp make_write(const void* data, DWORD count);
  DWORD write(WriteOp& op, Deadline deadline);
  // Waits until the peer has taken every byte sent, or has gone.
  DWORD drain(Deadline deadline);
  // After a write abandoned half way the message stream is cut: the peer sees the pipe broken.
  void cut_writes();
  bool writes_cut() const { return writes_cut_; }
  // The process at the other end (SO_PEERCRED): for a server's connection the client that
  // connected, for a client's the server that listens. 0 when the system does not tell.
  DWORD peer_process_id() const;

 private:
  DWORD wait_for(short events, Deadline deadline);
  // Receives at least one byte into `into` (at most `size`), waiting up to `deadline`: ERROR_SUCCESS
  // with the count in `got`, or the failure (ERROR_BROKEN_PIPE, or the wait's result).
  DWORD receive(void* into, std::size_t size, Deadline deadline, std::size_t& got);

  int fd_;
  bool in_message_ = false;
  std::uint32_t remaining_ = 0;  // bytes of the current message not read yet
  std::uint8_t header_[4] = {};
  int header_have_ = 0;
  bool writes_cut_ = false;
};

// The listening socket of one pipe name in this process, shared by its instances.
class Listener;

// Registers one more instance of `name` (its socket name) in this process. Null with the error
// set when the limit of instances is reached, the name is served by another process, or the
// socket cannot be made.
std::shared_ptr<Listener> add_instance(const std::string& name, DWORD max_instances, bool first_only);
// Drops an instance; the last one closes the listening socket, so the pipe no longer exists.
void remove_instance(std::shared_ptr<Listener>& listener);
// Takes the next client that still waits and accepts it. ERROR_SUCCESS with `fd` set, or
// ERROR_IO_PENDING when the deadline passed, or a failure.
DWORD accept_client(Listener& listener, Deadline deadline, int& fd);
// Connects to a server of `name` and waits to be accepted: ERROR_SUCCESS with `fd` set,
// ERROR_FILE_NOT_FOUND when no instance exists, ERROR_PIPE_BUSY when none takes the client.
DWORD connect_client(const std::string& name, int& fd);

}  // namespace os::sim::pipes
