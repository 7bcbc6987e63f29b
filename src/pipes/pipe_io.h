// One message in or out of an open pipe, each bounded in time: the pipe is opened for overlapped
// I/O, so a peer that stops reading or writing costs the caller a time-out, not its thread.
#pragma once

#include <cstdint>

#include "pipes/mem_buf.h"
#include "platform/os.h"

// Larger messages are refused: the reader keeps nothing of them.
inline constexpr std::uint32_t kMaxMessageBytes = 64u << 20;

enum class MessageEnd {
  whole,      // the message arrived whole
  cut_short,  // the read failed (error says why); what arrived was kept
  timed_out,  // the time ran out; nothing was kept
  too_large,  // more than kMaxMessageBytes, or more than memory allows; nothing was kept
};

struct MessageRead {
  MessageEnd end = MessageEnd::whole;
  DWORD error = ERROR_SUCCESS;
};

// Reads one message and appends it to `target`: a first read of 16 bytes, then, while the message
// goes on, reads of a chunk that doubles up to 1 MiB. `event` may be null.
MessageRead read_message(HANDLE pipe, HANDLE event, CMemBuf& target, DWORD timeout_ms);

// Writes `bytes` as one message; ERROR_SUCCESS, ERROR_TIMEOUT, or the pipe's error.
DWORD write_message(HANDLE pipe, HANDLE event, const CMemBuf& bytes, DWORD timeout_ms);

// Waits until the peer closes its end (it does so once it has read the answer); false when the time
// ran out first or the peer sent something instead.
bool wait_for_hang_up(HANDLE pipe, HANDLE event, DWORD timeout_ms);

// Milliseconds left of `total` since the tick count `start`.
DWORD time_left(DWORD start, DWORD total);
