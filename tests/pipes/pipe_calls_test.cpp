// The named-pipe calls of the platform layer, as the pipe channel relies on them: message
// boundaries, ERROR_MORE_DATA, empty messages, busy and missing pipes, broken pipes, and overlapped
// operations that time out and are cancelled. The same tests run against Windows' pipes (Wine).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "pipe_pair.h"
#include "support/sim_root.h"
#include "support/wine.h"

using pipe_test::connect_pair;
using pipe_test::unique_pipe_path;

namespace {

std::vector<std::uint8_t> pattern(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  return bytes;
}

// A client's end of the pipe at `path`, opened as the pipe channel opens it.
os::unique_hfile open_client(const std::u16string& path) {
  return os::unique_hfile(os::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
}

BOOL write_all(HANDLE pipe, const std::vector<std::uint8_t>& bytes) {
  DWORD written = 0;
  return os::WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

}  // namespace

class PipeCalls : public testing_support::FreshHost {};

TEST_F(PipeCalls, MissingPipeIsNotFound) {
  const std::u16string path = unique_pipe_path("missing");
  os::unique_hfile client = open_client(path);
  EXPECT_FALSE(client);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, os::GetLastError());
}

TEST_F(PipeCalls, MessagesKeepTheirBoundariesAndEmptyOnesArrive) {
  auto pair = connect_pair(unique_pipe_path("messages"));
  ASSERT_TRUE(pair.server && pair.client);
  const auto hello = std::vector<std::uint8_t>{'h', 'e', 'l', 'l', 'o'};
  const auto long_message = pattern(3000);  // longer than the pipe's buffers
  std::thread writer([&] {
    write_all(pair.server.get(), hello);
    write_all(pair.server.get(), {});
    write_all(pair.server.get(), long_message);
  });
  std::vector<std::uint8_t> buffer(4096);
  DWORD got = 0;
  ASSERT_TRUE(os::ReadFile(pair.client.get(), buffer.data(), 64, &got, nullptr));
  EXPECT_EQ(hello, std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + got));
  got = 99;
  ASSERT_TRUE(os::ReadFile(pair.client.get(), buffer.data(), 64, &got, nullptr));
  EXPECT_EQ(0u, got);  // the empty message, as such
  EXPECT_FALSE(os::ReadFile(pair.client.get(), buffer.data(), 16, &got, nullptr));
  EXPECT_EQ(ERROR_MORE_DATA, os::GetLastError());
  EXPECT_EQ(16u, got);
  DWORD rest = 0;
  ASSERT_TRUE(os::ReadFile(pair.client.get(), buffer.data() + 16, 4000, &rest, nullptr));
  EXPECT_EQ(long_message.size() - 16, rest);
  EXPECT_EQ(long_message, std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 16 + rest));
  writer.join();
}

TEST_F(PipeCalls, MessagesOfSeveralMegabytesPassWhole) {
  auto pair = connect_pair(unique_pipe_path("large"));
  ASSERT_TRUE(pair.server && pair.client);
  const auto message = pattern(5 << 20);
  std::thread writer([&] { EXPECT_TRUE(write_all(pair.client.get(), message)); });
  std::vector<std::uint8_t> buffer(message.size() + 1);
  DWORD got = 0;
  std::size_t have = 0;
  // Windows hands a long message over in the pieces that have arrived; none is an error.
  while (have < message.size()) {
    const BOOL ok = os::ReadFile(pair.server.get(), buffer.data() + have, static_cast<DWORD>(buffer.size() - have), &got,
                                 nullptr);
    have += got;
    if (ok) break;
    ASSERT_EQ(ERROR_MORE_DATA, os::GetLastError());
  }
  writer.join();
  buffer.resize(have);
  EXPECT_EQ(message, buffer);
}

TEST_F(PipeCalls, SecondClientFindsTheOnlyInstanceBusy) {
  const std::u16string path = unique_pipe_path("busy");
  auto pair = connect_pair(path);
  ASSERT_TRUE(pair.server && pair.client);
  os::unique_hfile second = open_client(path);
  EXPECT_FALSE(second);
  EXPECT_EQ(ERROR_PIPE_BUSY, os::GetLastError());
}

TEST_F(PipeCalls, PipeIsGoneWithItsLastInstance) {
  const std::u16string path = unique_pipe_path("gone");
  auto pair = connect_pair(path);
  ASSERT_TRUE(pair.server && pair.client);
  pair.server.reset();
  os::unique_hfile again = open_client(path);
  EXPECT_FALSE(again);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, os::GetLastError());
}

TEST_F(PipeCalls, ClosedPeerBreaksThePipe) {
  auto pair = connect_pair(unique_pipe_path("broken"));
  ASSERT_TRUE(pair.server && pair.client);
  pair.client.reset();
  std::uint8_t byte = 0;
  DWORD count = 0;
  EXPECT_FALSE(os::ReadFile(pair.server.get(), &byte, 1, &count, nullptr));
  EXPECT_EQ(ERROR_BROKEN_PIPE, os::GetLastError());
  EXPECT_FALSE(os::WriteFile(pair.server.get(), &byte, 1, &count, nullptr));
  EXPECT_EQ(ERROR_NO_DATA, os::GetLastError());
}

TEST_F(PipeCalls, DisconnectedServerEndsTheClientsReads) {
  auto pair = connect_pair(unique_pipe_path("disconnect"));
  ASSERT_TRUE(pair.server && pair.client);
  ASSERT_TRUE(os::DisconnectNamedPipe(pair.server.get()));
  std::uint8_t byte = 0;
  DWORD count = 0;
  EXPECT_FALSE(os::ReadFile(pair.client.get(), &byte, 1, &count, nullptr));
  // Windows says "not connected"; the simulated host cannot tell a disconnect from a close.
  const DWORD error = os::GetLastError();
  EXPECT_TRUE(error == ERROR_PIPE_NOT_CONNECTED || error == ERROR_BROKEN_PIPE) << error;
}

TEST_F(PipeCalls, FlushWaitsUntilTheClientHasRead) {
  auto pair = connect_pair(unique_pipe_path("flush"));
  ASSERT_TRUE(pair.server && pair.client);
  ASSERT_TRUE(write_all(pair.server.get(), {1, 2, 3}));
  const auto start = std::chrono::steady_clock::now();
  std::thread reader([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::uint8_t buffer[8];
    DWORD got = 0;
    os::ReadFile(pair.client.get(), buffer, sizeof buffer, &got, nullptr);
  });
  EXPECT_TRUE(os::FlushFileBuffers(pair.server.get()));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
  reader.join();
}

TEST_F(PipeCalls, OverlappedReadTimesOutIsCancelledAndThePipeStaysUsable) {
  auto pair = connect_pair(unique_pipe_path("timeout"), 0, FILE_FLAG_OVERLAPPED);
  ASSERT_TRUE(pair.server && pair.client);
  os::unique_handle event(os::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED overlapped{};
  overlapped.hEvent = event.get();
  std::uint8_t buffer[16] = {};
  EXPECT_FALSE(os::ReadFile(pair.client.get(), buffer, sizeof buffer, nullptr, &overlapped));
  ASSERT_EQ(ERROR_IO_PENDING, os::GetLastError());
  DWORD got = 0;
  EXPECT_FALSE(os::GetOverlappedResultEx(pair.client.get(), &overlapped, &got, 50, FALSE));
  EXPECT_EQ(WAIT_TIMEOUT, os::GetLastError());
  EXPECT_TRUE(os::CancelIoEx(pair.client.get(), &overlapped));
  EXPECT_FALSE(os::GetOverlappedResult(pair.client.get(), &overlapped, &got, TRUE));
  EXPECT_EQ(ERROR_OPERATION_ABORTED, os::GetLastError());

  // A later read gets the next message whole.
  OVERLAPPED again{};
  again.hEvent = event.get();
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    write_all(pair.server.get(), {'o', 'k'});
  });
  const BOOL started = os::ReadFile(pair.client.get(), buffer, sizeof buffer, nullptr, &again);
  EXPECT_TRUE(started || os::GetLastError() == ERROR_IO_PENDING);
  ASSERT_TRUE(os::GetOverlappedResultEx(pair.client.get(), &again, &got, 5000, FALSE));
  EXPECT_EQ(2u, got);
  EXPECT_EQ('o', buffer[0]);
  EXPECT_EQ(WAIT_OBJECT_0, os::WaitForSingleObject(event.get(), 0));  // the event tells completion too
  writer.join();
}

TEST_F(PipeCalls, OverlappedReadOfALongMessageReportsMoreData) {
  auto pair = connect_pair(unique_pipe_path("overlapped_more"), FILE_FLAG_OVERLAPPED, FILE_FLAG_OVERLAPPED);
  ASSERT_TRUE(pair.server && pair.client);
  const auto message = pattern(40);
  os::unique_handle event(os::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED write_op{};
  write_op.hEvent = event.get();
  const BOOL wrote = os::WriteFile(pair.server.get(), message.data(), 40, nullptr, &write_op);
  DWORD count = 0;
  ASSERT_TRUE(wrote || os::GetLastError() == ERROR_IO_PENDING);
  ASSERT_TRUE(os::GetOverlappedResultEx(pair.server.get(), &write_op, &count, 5000, FALSE));
  EXPECT_EQ(40u, count);

  std::uint8_t buffer[64] = {};
  OVERLAPPED read_op{};
  read_op.hEvent = event.get();
  const BOOL read = os::ReadFile(pair.client.get(), buffer, 16, nullptr, &read_op);
  EXPECT_FALSE(read);
  const DWORD error = os::GetLastError();
  ASSERT_TRUE(error == ERROR_MORE_DATA || error == ERROR_IO_PENDING) << error;
  EXPECT_FALSE(os::GetOverlappedResultEx(pair.client.get(), &read_op, &count, 5000, FALSE));
  EXPECT_EQ(ERROR_MORE_DATA, os::GetLastError());
  EXPECT_EQ(16u, count);
  OVERLAPPED rest_op{};
  rest_op.hEvent = event.get();
  const BOOL rest = os::ReadFile(pair.client.get(), buffer + 16, 48, nullptr, &rest_op);
  EXPECT_TRUE(rest || os::GetLastError() == ERROR_IO_PENDING);
  ASSERT_TRUE(os::GetOverlappedResultEx(pair.client.get(), &rest_op, &count, 5000, FALSE));
  EXPECT_EQ(24u, count);
  EXPECT_EQ(message, std::vector<std::uint8_t>(buffer, buffer + 40));
}

TEST_F(PipeCalls, NamesOutsideThePipeFolderAreRefused) {
  os::unique_hfile pipe(os::CreateNamedPipeW(u"\\\\.\\notapipe\\x", PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE, 1, 1024,
                                             1024, 500, nullptr));
  EXPECT_FALSE(pipe);
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, os::GetLastError());
}

// Both ends of a connection tell both processes; here both are this one (another process at the
// other end: the pipe channel's tests).
TEST_F(PipeCalls, EachEndTellsTheClientAndServerProcess) {
  const std::u16string path = unique_pipe_path("peer_ids");
  auto pair = connect_pair(path);
  ASSERT_TRUE(pair.server && pair.client);
  const DWORD self = os::GetCurrentProcessId();
  for (HANDLE end : {pair.server.get(), pair.client.get()}) {
    ULONG client = 0, server = 0;
    EXPECT_TRUE(os::GetNamedPipeClientProcessId(end, &client));
    EXPECT_TRUE(os::GetNamedPipeServerProcessId(end, &server));
    EXPECT_EQ(self, client);
    EXPECT_EQ(self, server);
  }
}

// A first instance must make a new pipe: while one instance of the name exists, it is refused.
TEST_F(PipeCalls, FirstInstanceFlagRefusesANameThatExists) {
  const std::u16string path = unique_pipe_path("first");
  const DWORD mode = PIPE_TYPE_MESSAGE | PIPE_WAIT;
  os::unique_hfile first(os::CreateNamedPipeW(path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE, mode,
                                              PIPE_UNLIMITED_INSTANCES, 1024, 1024, 500, nullptr));
  ASSERT_TRUE(first);
  os::unique_hfile again(os::CreateNamedPipeW(path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE, mode,
                                              PIPE_UNLIMITED_INSTANCES, 1024, 1024, 500, nullptr));
  const DWORD error = os::GetLastError();
  if (again && testing_support::under_wine()) {
    GTEST_SKIP() << "Wine does not refuse FILE_FLAG_FIRST_PIPE_INSTANCE on a pipe that exists";
  }
  EXPECT_FALSE(again);
  EXPECT_EQ(DWORD{ERROR_ACCESS_DENIED}, error);
  os::unique_hfile further(os::CreateNamedPipeW(path.c_str(), PIPE_ACCESS_DUPLEX, mode, PIPE_UNLIMITED_INSTANCES, 1024,
                                                1024, 500, nullptr));
  EXPECT_TRUE(further);
  first.reset();
  further.reset();
  os::unique_hfile anew(os::CreateNamedPipeW(path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE, mode,
                                             PIPE_UNLIMITED_INSTANCES, 1024, 1024, 500, nullptr));
  EXPECT_TRUE(anew);
}
