// Names of the simulated machine's abstract AF_UNIX sockets (pipes, the machine daemon): a prefix
// and the hex SHA-256 of a key that starts with the machine's sim root, so two machines never meet.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <string>

namespace os::sim {

// The sim root as one text for every process: the real path, without a trailing separator.
std::string canonical_root();

// `prefix` followed by the lower-case hex SHA-256 of `key` (64 digits).
std::string hashed_socket_name(const std::string& prefix, const std::string& key);

// The address of an abstract socket: a leading NUL, then `name` without terminator.
socklen_t abstract_address(const std::string& name, sockaddr_un& address);

}  // namespace os::sim
