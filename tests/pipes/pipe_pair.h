// A server instance and a client connected to it in this process, for tests of the pipe calls.
// The server's connect runs on a thread of its own, as a listener's does, so the client can open
// the pipe while the server waits.
#pragma once

#include <string>

#include "platform/handle.h"

namespace pipe_test {

struct PipePair {
  os::unique_hfile server;
  os::unique_hfile client;
};

// A pipe path unique to this test process and `tag` (Wine's pipes are shared by the whole prefix).
std::u16string unique_pipe_path(const std::string& tag);

// Creates an instance of `path` (message type and read mode, one instance unless `instances` says
// otherwise) and connects a client (GENERIC_READ | GENERIC_WRITE, message read mode).
// `server_flags` and `client_flags` may add FILE_FLAG_OVERLAPPED.
PipePair connect_pair(const std::u16string& path, DWORD server_flags = 0, DWORD client_flags = 0, DWORD instances = 1);

// Opens the client end, retrying while the pipe is busy or not there yet (at most 5 s).
os::unique_hfile open_client(const std::u16string& path, DWORD flags = 0);

}  // namespace pipe_test
