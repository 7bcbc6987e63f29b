#include "decision/device_files.h"

#include <memory>
#include <string>

#include "decision/device_record.h"
#include "platform/handle.h"
#include "process/diagnostics.h"
#include "process/named_paths.h"
#include "process/paths.h"
#include "process/run_state.h"
#include "text/utf.h"

namespace {

// Appends bytes to a file, creating it (not its folders). Fails silently.
void append_to_file(const std::u16string& path, const std::string& bytes) {
  os::unique_fd fd;
  if (os::_wsopen_s(fd.put(), path.c_str(), _O_BINARY | _O_WRONLY | _O_APPEND | _O_CREAT | _O_NOINHERIT, _SH_DENYNO,
                    _S_IREAD | _S_IWRITE) != 0 || !fd) {
    return;
  }
  os::_write(fd.get(), bytes.data(), static_cast<unsigned>(bytes.size()));
}

UINT delete_capture_file_later(void* param) {
  const std::unique_ptr<DWORD> delay(static_cast<DWORD*>(param));
  if (global_mutex_exists(kCleanupMutex)) return 0;
  const std::u16string name = u"Global\\" + std::u16string(kCleanupMutex);
  os::unique_handle cleanup(os::CreateMutexW(nullptr, FALSE, name.c_str()));
  if (cleanup && os::GetLastError() == ERROR_ALREADY_EXISTS) cleanup.reset();
  os::Sleep(*delay);
  os::DeleteFileW(get_named_path(u"new_usb_device_file_path").c_str());
  return 0;
}

}  // namespace

void write_accept_files(const std::u16string& accept_folder, const std::u16string& checksum, const CJsonNode& document) {
  const std::u16string base = paths::path_join(accept_folder, checksum);
  paths::write_utf16_file(base + u".json", document.serialise(0));
  append_to_file(base + u".txt", text::to_utf8(diag::local_time_text() + u"\r\n"));
}

void write_capture_file(const CJsonNode& document) {
  CJsonNode capture = with_exact_patterns(document);
  capture.set_string(u"timestamp", diag::local_time_stamp());
  paths::write_utf8_file(get_named_path(u"new_usb_device_file_path"), capture.serialise(0));
}

void start_capture_cleanup(DWORD delay_ms) {
  auto delay = std::make_unique<DWORD>(delay_ms);
  if (g_thread_group.Start(delete_capture_file_later, delay.get())) delay.release();
}
