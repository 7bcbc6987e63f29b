// ShellExecuteExW with the verb "open": starts a program as a real Linux process.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "platform/sim/command_line.h"
#include "platform/sim/host.h"
#include "platform/sim/proc_files.h"
#include "platform/sim/process_handle.h"
#include "platform/sim/spawn.h"
#include "text/chars.h"
#include "text/utf.h"

namespace os {

namespace {

// ShellExecute's success value is any instance value above 32; failures are the small SE_ERR_ codes,
// which share their numbers with the Win32 errors up to 32.
constexpr ULONG_PTR kStartedInstance = 42;
constexpr ULONG_PTR kGenericShellError = 31;

bool is_executable_file(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string folder_of_this_program() {
  const sim::ImagePath self = sim::read_image_path(::getpid());
  const auto slash = self.path.rfind('/');
  return slash == std::string::npos ? std::string() : self.path.substr(0, slash);
}

std::string absolute(const std::string& path) {
  if (path.starts_with('/')) return path;
  char* cwd = ::getcwd(nullptr, 0);
  if (cwd == nullptr) return path;
  std::string result = std::string(cwd) + "/" + path;
  std::free(cwd);
  return result;
}

// A path (with a drive or a separator) is taken as it is; a bare name is looked for in the folder
// of the running program, then in the folders of PATH.
std::optional<std::string> find_program(std::u16string_view file) {
  const std::string linux_file = sim::to_linux_path(file);
  if (file.find_first_of(u"\\/:") != std::u16string_view::npos) {
    struct stat info {};
    if (::stat(linux_file.c_str(), &info) != 0) return std::nullopt;
    return absolute(linux_file);
  }
  if (const std::string own = folder_of_this_program(); !own.empty() && is_executable_file(own + "/" + linux_file)) {
    return own + "/" + linux_file;
  }
  const char* path = std::getenv("PATH");
  std::string_view folders = path ? path : "";
  while (!folders.empty()) {
    const auto colon = folders.find(':');
    const std::string folder(folders.substr(0, colon));
    folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
    if (!folder.empty() && is_executable_file(folder + "/" + linux_file)) return absolute(folder + "/" + linux_file);
  }
  return std::nullopt;
}

BOOL fail(SHELLEXECUTEINFOW* info, DWORD error) {
  info->hInstApp = reinterpret_cast<HINSTANCE>(error <= 32 ? ULONG_PTR{error} : kGenericShellError);
  SetLastError(error);
  return FALSE;
}

}  // namespace

BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info) {
  if (info == nullptr || info->cbSize != sizeof(SHELLEXECUTEINFOW)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  info->hProcess = nullptr;
  if (info->lpFile == nullptr) return fail(info, ERROR_INVALID_PARAMETER);
  if (info->lpVerb != nullptr && *info->lpVerb != u'\0' && !text::equals_nocase(info->lpVerb, u"open")) {
    return fail(info, ERROR_CALL_NOT_IMPLEMENTED);  // only programs are started; no other verbs
  }
  const std::u16string_view file = info->lpFile;
  const auto program = file.empty() ? std::nullopt : find_program(file);
  if (!program) return fail(info, ERROR_FILE_NOT_FOUND);

  sim::SpawnRequest request;
  request.program = *program;
  if (info->lpDirectory != nullptr && *info->lpDirectory != u'\0') {
    request.working_folder = absolute(sim::to_linux_path(info->lpDirectory));
    struct stat folder {};
    if (::stat(request.working_folder.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)) {
      return fail(info, ERROR_DIRECTORY);
    }
  }
  const std::u16string_view parameters = info->lpParameters ? info->lpParameters : u"";
  std::u16string command_line = u"\"" + std::u16string(file) + u"\"";
  if (!parameters.empty()) command_line += u" " + std::u16string(parameters);
  request.command_line = text::to_utf8_display(command_line);
  request.arguments.push_back(text::to_utf8_display(file));
  for (const std::u16string& argument : sim::split_arguments(parameters)) {
    request.arguments.push_back(text::to_utf8_display(argument));
  }

  sim::Spawned child = sim::spawn_process(request);
  if (child.error != ERROR_SUCCESS) return fail(info, child.error);
  auto process = sim::ProcessState::adopt_child(child.pid, std::move(child.pidfd), request.program);
  if (info->fMask & SEE_MASK_NOCLOSEPROCESS) {
    info->hProcess = sim::add_handle(std::make_shared<sim::ProcessHandle>(std::move(process), PROCESS_ALL_ACCESS));
  }
  info->hInstApp = reinterpret_cast<HINSTANCE>(kStartedInstance);
  return TRUE;
}

}  // namespace os
