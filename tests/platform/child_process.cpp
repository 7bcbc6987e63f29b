#include "child_process.h"

#ifndef _WIN32
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/sim_root.h"
#include "text/utf.h"

namespace platform_test {

namespace fs = std::filesystem;

#ifdef _WIN32
const char* const kExe = ".exe";
#else
const char* const kExe = "";
#endif

Started::~Started() {
  if (process) end_process(process.get());
}

Started shell_execute(const std::u16string& file, const std::u16string& parameters, const std::u16string& directory,
                      ULONG mask) {
  os::SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = mask | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = u"open";
  info.lpFile = file.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
  info.nShow = SW_HIDE;
  Started started;
  started.ok = os::ShellExecuteExW(&info);
  started.error = started.ok ? 0 : os::GetLastError();
  if (started.ok && info.hProcess != nullptr) started.process.reset(info.hProcess);
  return started;
}

std::string copy_helper(const std::string& helper, const std::string& folder, const std::string& name) {
  const fs::path to = fs::path(folder) / name;
  fs::create_directories(to.parent_path());
  fs::copy_file(fs::path(VOSTUSB_BIN_DIR) / (helper + kExe), to, fs::copy_options::overwrite_existing);
  return to.string();
}

void copy_driver_images(const std::string& folder) {
  fs::create_directories(folder);
  for (const char* image : {"vostusb.sys", "vostusb10.sys"}) {
    fs::copy_file(fs::path(VOSTUSB_BIN_DIR) / image, fs::path(folder) / image, fs::copy_options::overwrite_existing);
  }
}

ProbeReport wait_for_report(const std::string& path) {
  // The report appears whole (it is renamed into place); a read may still fail for a moment on
  // Windows while the rename completes, so reading is retried until the time is up.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  do {
    std::ifstream in(path, std::ios::binary);
    std::string pid;
    if (in && std::getline(in, pid) && !pid.empty()) {
      ProbeReport report;
      report.found = true;
      report.pid = static_cast<DWORD>(std::stoul(pid));
      std::getline(in, report.folder);
      std::getline(in, report.command_line);
      for (std::string line; std::getline(in, line);) report.arguments.push_back(line);
      return report;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  } while (std::chrono::steady_clock::now() < deadline);
  return {};
}

void end_process(HANDLE process) {
  if (process == nullptr) return;
  os::TerminateProcess(process, 1);
  os::WaitForSingleObject(process, 5000);
}

#ifndef _WIN32
bool standard_user_available() { return ::geteuid() == 0 && ::getpwnam("nobody") != nullptr; }

int exit_status_as_standard_user(const std::function<int()>& check) {
  const passwd* nobody = ::getpwnam("nobody");
  if (nobody == nullptr) return -1;
  const uid_t uid = nobody->pw_uid;
  const gid_t gid = nobody->pw_gid;
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setresgid(gid, gid, gid) != 0 || ::setresuid(uid, uid, uid) != 0) ::_exit(10);
    ::_exit(check());
  }
  if (child < 0) return -1;
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}
#endif

}  // namespace platform_test
