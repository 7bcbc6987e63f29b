// This program exists only in the Windows build and is the one place outside the platform layer
// that needs Win32 calls the product does not use (a named section), so it goes to the SDK
// through the platform layer's gateway header.
#include "debug_buffer.h"

#include <cstring>

#include "platform/handle.h"
#include "platform/os.h"
#include "platform/win32/text_cast.h"
#include "platform/win32/win32_types.h"

namespace dbwin_capture {

namespace {

constexpr DWORD kBufferSize = 4096;

void unmap_view(void* view) { ::UnmapViewOfFile(view); }
void* no_view() { return nullptr; }
using unique_view = os::unique_any<void*, unmap_view, no_view>;

std::u16string from_ansi(const char* text, std::size_t size) {
  if (size == 0) return {};
  const int length = os::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(size), nullptr, 0);
  std::u16string wide(static_cast<std::size_t>(length > 0 ? length : 0), u'\0');
  if (length > 0) os::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(size), wide.data(), length);
  return wide;
}

std::string error_text(const char* what) {
  return std::string(what) + " (error " + std::to_string(os::GetLastError()) + ")";
}

}  // namespace

struct DebugBuffer::Handles {
  os::unique_handle section;
  unique_view view;
  os::unique_handle buffer_ready;
  os::unique_handle data_ready;
};

DebugBuffer::DebugBuffer(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}
DebugBuffer::~DebugBuffer() = default;

std::unique_ptr<DebugBuffer> DebugBuffer::listen(ListenFailure* failure) {
  auto handles = std::make_unique<Handles>();
  // The section first: whoever created it is the viewer. Writers that find it before the events
  // exist skip their text, which is fine: nobody has been told yet that we listen.
  handles->section.reset(
      ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize, os::win32::wide(u"DBWIN_BUFFER")));
  if (!handles->section) {
    failure->message = error_text("cannot create the section DBWIN_BUFFER");
    return nullptr;
  }
  if (os::GetLastError() == ERROR_ALREADY_EXISTS) {
    failure->other_viewer = true;
    failure->message = "another debug output viewer is listening";
    return nullptr;
  }
  handles->view.reset(::MapViewOfFile(handles->section.get(), FILE_MAP_READ, 0, 0, kBufferSize));
  handles->buffer_ready.reset(os::CreateEventW(nullptr, FALSE, FALSE, u"DBWIN_BUFFER_READY"));
  handles->data_ready.reset(os::CreateEventW(nullptr, FALSE, FALSE, u"DBWIN_DATA_READY"));
  if (!handles->view || !handles->buffer_ready || !handles->data_ready) {
    failure->message = error_text("cannot set up the debug output buffer");
    return nullptr;
  }
  return std::unique_ptr<DebugBuffer>(new DebugBuffer(std::move(handles)));
}

std::optional<std::u16string> DebugBuffer::receive() {
  if (!os::SetEvent(handles_->buffer_ready.get())) return std::nullopt;
  if (os::WaitForSingleObject(handles_->data_ready.get(), INFINITE) != WAIT_OBJECT_0) return std::nullopt;
  // The writer's process id, then its text with a terminating zero (cut to fit by the writer).
  const char* text = static_cast<const char*>(handles_->view.get()) + sizeof(DWORD);
  return from_ansi(text, strnlen(text, kBufferSize - sizeof(DWORD)));
}

std::vector<std::u16string> command_line_arguments() {
  int count = 0;
  auto list = ::CommandLineToArgvW(os::win32::wide(os::GetCommandLineW()), &count);
  std::vector<std::u16string> args;
  for (int i = 1; list != nullptr && i < count; ++i) args.emplace_back(os::win32::utf16(list[i]));
  ::LocalFree(list);
  return args;
}

}  // namespace dbwin_capture
