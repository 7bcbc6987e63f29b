// Named pipes of the simulated host, as the file calls see them: CreateFileW opens the client end
// of a pipe path, and ReadFile, WriteFile and FlushFileBuffers pass pipe handles here.
#pragma once

#include <memory>
#include <string_view>

#include "platform/os.h"

namespace os::sim {

class PipeEnd;

// Whether `path` names a pipe: "\\.\pipe\NAME" ("/" also separates, "pipe" in any case).
bool is_pipe_path(std::u16string_view path);

// CreateFileW on a pipe path: the client end, or INVALID_HANDLE_VALUE with the error set
// (ERROR_FILE_NOT_FOUND: no instance; ERROR_PIPE_BUSY: every instance busy).
HANDLE open_pipe_client(std::u16string_view path, DWORD access, DWORD disposition, DWORD flags);

// The pipe behind a handle, or null (and no error set) when the handle is something else.
std::shared_ptr<PipeEnd> find_pipe(HANDLE handle);

BOOL pipe_read_file(PipeEnd& pipe, void* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped);
BOOL pipe_write_file(PipeEnd& pipe, const void* buffer, DWORD count, DWORD* written, OVERLAPPED* overlapped);
BOOL pipe_flush(PipeEnd& pipe);

}  // namespace os::sim
