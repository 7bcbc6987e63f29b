// The executable of a process: its path in Windows form (Z:\...) and its one module.
#include <cerrno>
#include <memory>
#include <string>

#include "platform/sim/host.h"
#include "platform/sim/process_handle.h"
#include "platform/sim/text_out.h"

namespace os {

namespace {

// The executable's module handle, as another process sees it: its load address.
const HMODULE kExecutableModule = reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x140000000));

// The image path of a process for the calls that read its loaded modules: those need the process
// to be still running (an ended process has no modules left to read).
std::shared_ptr<sim::ProcessState> running_process_with_image(HANDLE process, DWORD all_of, DWORD any_of,
                                                              HMODULE module) {
  auto state = sim::process_for(process, all_of, any_of);
  if (!state) return nullptr;
  if (module != nullptr && module != kExecutableModule) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (state->has_ended()) {
    SetLastError(ERROR_PARTIAL_COPY);
    return nullptr;
  }
  if (state->image().error != 0) {
    // Another user's process, or a kernel thread, which has no executable to show.
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return state;
}

std::u16string windows_image_path(const sim::ProcessState& state) { return sim::to_windows_path(state.image().path); }

std::u16string image_base_name(const sim::ProcessState& state) {
  const std::u16string path = windows_image_path(state);
  const auto separator = path.find_last_of(u"\\/");
  return separator == std::u16string::npos ? path : path.substr(separator + 1);
}

}  // namespace

DWORD GetModuleFileNameExW(HANDLE process, HMODULE module, char16_t* buffer, DWORD size) {
  const auto state = running_process_with_image(process, PROCESS_VM_READ, sim::kAnyQueryRight, module);
  if (!state) return 0;
  if (size == 0 || buffer == nullptr) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return sim::copy_cut_to_fit(windows_image_path(*state), buffer, size);
}

DWORD GetModuleBaseNameW(HANDLE process, HMODULE module, char16_t* buffer, DWORD size) {
  const auto state =
      running_process_with_image(process, PROCESS_VM_READ | PROCESS_QUERY_INFORMATION, 0, module);
  if (!state) return 0;
  if (size == 0 || buffer == nullptr) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return sim::copy_cut_to_fit(image_base_name(*state), buffer, size);
}

BOOL EnumProcessModules(HANDLE process, HMODULE* modules, DWORD size, DWORD* needed) {
  if (needed == nullptr || (modules == nullptr && size != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto state =
      running_process_with_image(process, PROCESS_VM_READ | PROCESS_QUERY_INFORMATION, 0, nullptr);
  if (!state) return FALSE;
  // One module, the executable; as on Windows, "needed" tells the room for all of them.
  if (size >= sizeof(HMODULE)) modules[0] = kExecutableModule;
  *needed = sizeof(HMODULE);
  return TRUE;
}

BOOL QueryFullProcessImageNameW(HANDLE process, DWORD flags, char16_t* buffer, DWORD* size) {
  if (size == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (flags & PROCESS_NAME_NATIVE) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);  // the host has no NT device paths
    return FALSE;
  }
  const auto state = sim::process_for(process, 0, sim::kAnyQueryRight);
  if (!state) return FALSE;
  // The image path stays known after the process ends, as Windows keeps it with the process.
  if (state->image().error != 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const std::u16string path = windows_image_path(*state);
  if (!sim::copy_if_fits(path, buffer, *size)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  *size = static_cast<DWORD>(path.size());
  return TRUE;
}

}  // namespace os
