#include "pipes/pipe_io.h"

#include <new>
#include <vector>

namespace {

// Completes an overlapped operation that `started` began, within `timeout_ms`. On time-out the
// operation is cancelled and ERROR_TIMEOUT comes back. ERROR_MORE_DATA comes back as a result.
DWORD finish(HANDLE pipe, OVERLAPPED& overlapped, BOOL started, DWORD timeout_ms, DWORD& transferred) {
  transferred = 0;
  if (!started) {
    const DWORD error = os::GetLastError();
    if (error != ERROR_IO_PENDING && error != ERROR_MORE_DATA) return error;
  }
  if (os::GetOverlappedResultEx(pipe, &overlapped, &transferred, timeout_ms, FALSE)) return ERROR_SUCCESS;
  const DWORD error = os::GetLastError();
  if (error != WAIT_TIMEOUT && error != ERROR_IO_INCOMPLETE) return error;
  os::CancelIoEx(pipe, &overlapped);
  // The operation may have completed before the cancel reached it.
  if (os::GetOverlappedResult(pipe, &overlapped, &transferred, TRUE)) return ERROR_SUCCESS;
  const DWORD late = os::GetLastError();
  return late == ERROR_OPERATION_ABORTED ? ERROR_TIMEOUT : late;
}

DWORD read_some(HANDLE pipe, HANDLE event, std::uint8_t* buffer, DWORD count, DWORD timeout_ms, DWORD& got) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = event;
  const BOOL started = os::ReadFile(pipe, buffer, count, nullptr, &overlapped);
  return finish(pipe, overlapped, started, timeout_ms, got);
}

}  // namespace

DWORD time_left(DWORD start, DWORD total) {
  const DWORD elapsed = os::GetTickCount() - start;
  return elapsed >= total ? 0 : total - elapsed;
}

MessageRead read_message(HANDLE pipe, HANDLE event, CMemBuf& target, DWORD timeout_ms) {
  constexpr DWORD kFirstRead = 16;
  constexpr DWORD kLargestChunk = 0x100000;
  const DWORD start = os::GetTickCount();
  std::vector<std::uint8_t> bytes;
  DWORD chunk = kFirstRead;
  std::uint32_t have = 0;
  DWORD got = 0;
  DWORD error = ERROR_SUCCESS;
  try {
    bytes.resize(kFirstRead);
    error = read_some(pipe, event, bytes.data(), kFirstRead, time_left(start, timeout_ms), got);
    have = got;
    while (error == ERROR_MORE_DATA) {
      if (have >= kMaxMessageBytes) return {MessageEnd::too_large, ERROR_MORE_DATA};
      if (chunk < kLargestChunk) chunk *= 2;
      bytes.resize(static_cast<std::size_t>(have) + chunk);
      error = read_some(pipe, event, bytes.data() + have, chunk, time_left(start, timeout_ms), got);
      have += got;
    }
  } catch (const std::bad_alloc&) {
    return {MessageEnd::too_large, ERROR_NOT_ENOUGH_MEMORY};
  }
  if (error == ERROR_TIMEOUT) return {MessageEnd::timed_out, error};
  if (have > kMaxMessageBytes) return {MessageEnd::too_large, error};
  if (!target.Append(bytes.data(), have)) return {MessageEnd::too_large, ERROR_NOT_ENOUGH_MEMORY};
  return {error == ERROR_SUCCESS ? MessageEnd::whole : MessageEnd::cut_short, error};
}

DWORD write_message(HANDLE pipe, HANDLE event, const CMemBuf& bytes, DWORD timeout_ms) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = event;
  const BOOL started = os::WriteFile(pipe, bytes.data(), bytes.size(), nullptr, &overlapped);
  DWORD written = 0;
  const DWORD error = finish(pipe, overlapped, started, timeout_ms, written);
  if (error == ERROR_SUCCESS && written != bytes.size()) return ERROR_WRITE_FAULT;
  return error;
}

bool wait_for_hang_up(HANDLE pipe, HANDLE event, DWORD timeout_ms) {
  std::uint8_t byte = 0;
  DWORD got = 0;
  const DWORD error = read_some(pipe, event, &byte, 1, timeout_ms, got);
  return error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED;
}
