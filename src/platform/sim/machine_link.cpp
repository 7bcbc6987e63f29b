#include "platform/sim/machine_link.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/sim/abstract_socket.h"
#include "platform/sim/host.h"

extern char** environ;

namespace os::sim::machine {

namespace {

constexpr std::size_t kMaxMessage = 64u << 20;
constexpr auto kStartPatience = std::chrono::seconds(10);

void put_u32(std::string& out, std::size_t value) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint32_t get_u32(const char* bytes) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[i]);
  return value;
}

bool send_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

bool receive_all(int fd, char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t got = ::recv(fd, data, size, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    data += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

std::string daemon_program() {
  if (const char* named = std::getenv("VOSTUSB_SIM_MACHINED"); named && *named) return named;
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return kDaemonName;
  return (self.parent_path() / kDaemonName).string();
}

// Starts the daemon detached from the caller: its own session, no inherited descriptors, standard
// streams on /dev/null (a test runner waiting for the caller's output never waits for it).
void start_daemon() {
  const std::string program = daemon_program();
  const std::string root = "VOSTUSB_SIM_ROOT=" + sim_root();
  std::vector<std::string> environment{root};
  for (char** e = environ; *e; ++e) {
    if (std::strncmp(*e, "VOSTUSB_SIM_ROOT=", 17) != 0) environment.emplace_back(*e);
  }
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  char* argv[] = {const_cast<char*>(kDaemonName), nullptr};
  const pid_t child = ::fork();
  if (child < 0) return;
  if (child == 0) {
    ::setsid();
    if (::fork() != 0) ::_exit(0);
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::dup2(null, 2);
    }
    ::close_range(3, ~0U, 0);
    ::execve(program.c_str(), argv, envp.data());
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}

bool try_connect(UniqueFd& fd) {
  UniqueFd s(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!s) return false;
  sockaddr_un address;
  const socklen_t length = abstract_address(socket_name(), address);
  if (::connect(s.get(), reinterpret_cast<sockaddr*>(&address), length) != 0) return false;
  fd = std::move(s);
  return true;
}

}  // namespace

std::string socket_name() { return hashed_socket_name("vostusb-machine-", canonical_root()); }

std::string encode(const Message& message) {
  std::string body;
  for (const std::string& field : message) {
    put_u32(body, field.size());
    body += field;
  }
  std::string out;
  put_u32(out, body.size());
  return out + body;
}

bool decode(std::string_view bytes, Message& message) {
  message.clear();
  while (!bytes.empty()) {
    if (bytes.size() < 4) return false;
    const std::uint32_t size = get_u32(bytes.data());
    bytes.remove_prefix(4);
    if (size > bytes.size()) return false;
    message.emplace_back(bytes.substr(0, size));
    bytes.remove_prefix(size);
  }
  return true;
}

bool send_message(int fd, const Message& message) {
  const std::string bytes = encode(message);
  return send_all(fd, bytes.data(), bytes.size());
}

bool receive_message(int fd, Message& message) {
  char header[4];
  if (!receive_all(fd, header, 4)) return false;
  const std::uint32_t size = get_u32(header);
  if (size > kMaxMessage) return false;
  std::string body(size, '\0');
  if (!receive_all(fd, body.data(), size)) return false;
  return decode(body, message);
}

std::string number(unsigned long long value) { return std::to_string(value); }

unsigned long long to_number(std::string_view field, unsigned long long fallback) {
  if (field.empty() || field.size() > 20) return fallback;
  unsigned long long value = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return fallback;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value;
}

DWORD connect(UniqueFd& fd, bool start_if_needed) {
  if (try_connect(fd)) return ERROR_SUCCESS;
  if (!start_if_needed) return kDaemonGone;
  start_daemon();
  const auto give_up = std::chrono::steady_clock::now() + kStartPatience;
  while (std::chrono::steady_clock::now() < give_up) {
    if (try_connect(fd)) return ERROR_SUCCESS;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return kDaemonGone;
}

DWORD call(int fd, const Message& request, Message& reply) {
  if (!send_message(fd, request) || !receive_message(fd, reply)) return kDaemonGone;
  return ERROR_SUCCESS;
}

bool daemon_running() {
  UniqueFd fd;
  return try_connect(fd);
}

bool shutdown_daemon() {
  UniqueFd fd;
  if (!try_connect(fd)) return true;
  Message reply;
  call(fd.get(), {"shutdown"}, reply);
  // The daemon answers, then closes every connection and ends: wait for our end to see it.
  pollfd p{fd.get(), POLLIN, 0};
  ::poll(&p, 1, 5000);
  for (int i = 0; i < 500 && daemon_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return !daemon_running();
}

}  // namespace os::sim::machine
