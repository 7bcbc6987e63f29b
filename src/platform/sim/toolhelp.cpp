// Process snapshots (CreateToolhelp32Snapshot with TH32CS_SNAPPROCESS): the processes running when
// the snapshot was taken, each named by its executable's file name, or by the kernel's short name
// when the executable cannot be read (another user's process, a kernel thread).
#include <memory>
#include <mutex>
#include <vector>

#include "platform/sim/handles.h"
#include "platform/sim/proc_files.h"
#include "platform/sim/text_out.h"
#include "text/utf.h"

namespace os {

namespace {

constexpr LONG kNormalPriority = 8;

class ProcessSnapshot : public sim::KernelObject {
 public:
  explicit ProcessSnapshot(std::vector<PROCESSENTRY32W> entries) : entries_(std::move(entries)) {}

  // Copies the entry at the cursor and advances; ERROR_NO_MORE_FILES past the end.
  BOOL next(PROCESSENTRY32W* entry, bool from_start) {
    if (entry == nullptr || entry->dwSize < sizeof(PROCESSENTRY32W)) {
      SetLastError(ERROR_BAD_LENGTH);
      return FALSE;
    }
    std::size_t index = 0;
    {
      std::lock_guard guard(lock_);
      if (from_start) cursor_ = 0;
      if (cursor_ >= entries_.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
      }
      index = cursor_++;
    }
    const DWORD size = entry->dwSize;
    *entry = entries_[index];
    entry->dwSize = size;
    return TRUE;
  }

 private:
  const std::vector<PROCESSENTRY32W> entries_;
  std::mutex lock_;
  std::size_t cursor_ = 0;
};

std::vector<PROCESSENTRY32W> take_snapshot() {
  std::vector<PROCESSENTRY32W> entries;
  for (const pid_t pid : sim::list_live_processes()) {
    const auto stat = sim::read_proc_stat(pid);
    if (!stat || stat->state == 'Z') continue;  // ended since it was listed
    const sim::ImagePath image = sim::read_image_path(pid);
    const std::string name = image.error == 0 ? sim::linux_base_name(image.path) : stat->command;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    entry.th32ProcessID = static_cast<DWORD>(pid);
    entry.cntThreads = static_cast<DWORD>(stat->threads);
    entry.th32ParentProcessID = static_cast<DWORD>(stat->parent);
    entry.pcPriClassBase = kNormalPriority;
    sim::copy_cut_to_fit(text::from_utf8(name), entry.szExeFile, MAX_PATH);
    entries.push_back(entry);
  }
  return entries;
}

}  // namespace

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD) {
  if (!(flags & TH32CS_SNAPPROCESS)) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);  // modules, threads and heaps are not simulated
    return INVALID_HANDLE_VALUE;
  }
  return sim::add_handle(std::make_shared<ProcessSnapshot>(take_snapshot()));
}

BOOL Process32FirstW(HANDLE snapshot, PROCESSENTRY32W* entry) {
  const auto processes = sim::find_handle_as<ProcessSnapshot>(snapshot);
  return processes ? processes->next(entry, true) : FALSE;
}

BOOL Process32NextW(HANDLE snapshot, PROCESSENTRY32W* entry) {
  const auto processes = sim::find_handle_as<ProcessSnapshot>(snapshot);
  return processes ? processes->next(entry, false) : FALSE;
}

}  // namespace os
