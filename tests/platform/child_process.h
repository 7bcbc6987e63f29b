// Starting the platform tests' helper programs through ShellExecuteExW and reading their reports.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/handle.h"
#include "platform/os.h"
#include "support/sim_root.h"

namespace platform_test {

#ifndef _WIN32
// Whether a test can run code as a standard user: it runs as root and the user "nobody" exists.
bool standard_user_available();
// Runs `check` in a forked child that has become the user "nobody" (group and user); returns the
// child's exit status, which is `check`'s result, or 10 when the user could not be taken on, or -1
// when no child ran.
int exit_status_as_standard_user(const std::function<int()>& check);
#endif

// ".exe" on Windows, "" on Linux: the helpers' file names.
extern const char* const kExe;

// A started helper; one still running when this goes out of scope is ended, so no test leaves a
// process behind.
struct Started {
  Started() = default;
  Started(Started&&) = default;
  Started& operator=(Started&&) = default;
  ~Started();

  BOOL ok = FALSE;
  DWORD error = 0;            // GetLastError() after a failure
  os::unique_handle process;  // with SEE_MASK_NOCLOSEPROCESS
};

Started shell_execute(const std::u16string& file, const std::u16string& parameters,
                      const std::u16string& directory = u"", ULONG mask = SEE_MASK_NOCLOSEPROCESS);

// A fresh machine whose tests start the helper programs of the build's bin folder.
class HelperHost : public testing_support::FreshHost {
 protected:
  // A helper's path in the product's form.
  static std::u16string helper_path(const std::string& name) { return bin_path(name + kExe); }
};
// Copies a helper into `folder` (native) under `name`; returns the copy's native path.
std::string copy_helper(const std::string& helper, const std::string& folder, const std::string& name);
// Copies the build's driver images (both names the guard's "sys" path may give) into `folder`.
void copy_driver_images(const std::string& folder);

// A probe_child report, read once it exists (not found when it did not appear within 10 s).
struct ProbeReport {
  bool found = false;
  DWORD pid = 0;
  std::string folder;
  std::string command_line;
  std::vector<std::string> arguments;
};
ProbeReport wait_for_report(const std::string& path);

// Ends a process that a test left running and waits for it.
void end_process(HANDLE process);

}  // namespace platform_test
