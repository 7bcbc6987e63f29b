// kavenormenu.exe, the stand-in for the suite's tray program on a simulated host (or under Wine):
// it serves the channel "usb_device", answers the guard's "ask_usb_device|" questions by the policy
// given on its command line, and prints every "usb_device_blocked|" notice it receives.
//
//   kavenormenu.exe [--log FILE] allow|block|silent|ask|answer=TEXT
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include "pipes/commp.h"
#include "text/format.h"
#include "text/utf.h"
#include "tray_policy.h"

namespace {

constexpr DWORD kPipeTimeout = 2000;

constexpr const char* kUsage =
    "usage: kavenormenu.exe [--log FILE] allow|block|silent|ask|answer=TEXT\n"
    "  Serves the pipe channel \"usb_device\" as the suite's tray program does. \"ask_usb_device|\"\n"
    "  questions are answered by the policy: allow (\"1\"), block (\"0\"), silent (never answers),\n"
    "  ask (shows the device here and reads y or n), answer=TEXT (answers TEXT).\n"
    "  \"usb_device_blocked|\" notices are printed.\n"
    "  --log FILE  also appends every line to FILE (a native path), for scripts and tests.\n";

std::mutex output_lock;
std::ofstream log_file;

void say(const std::string& line) {
  std::lock_guard<std::mutex> lock(output_lock);
  std::fputs(("kavenormenu: " + line + "\n").c_str(), stdout);
  std::fflush(stdout);
  if (log_file.is_open()) {
    log_file << line << "\n";
    log_file.flush();
  }
}

std::optional<bool> ask_person(const std::string& device) {
  {
    std::lock_guard<std::mutex> lock(output_lock);
    std::fputs(("A USB device was connected:\n" + device + "Allow it? [y/n] ").c_str(), stdout);
    std::fflush(stdout);
  }
  std::string reply;
  while (std::getline(std::cin, reply)) {
    if (reply == "y" || reply == "Y") return true;
    if (reply == "n" || reply == "N") return false;
    std::fputs("Please answer y or n: ", stdout);
    std::fflush(stdout);
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<Policy> policy;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--log") == 0 && i + 1 < argc && !log_file.is_open()) {
      log_file.open(argv[++i], std::ios::app | std::ios::binary);
      if (!log_file) {
        std::fprintf(stderr, "kavenormenu: cannot open the log %s\n", argv[i]);
        return 2;
      }
      continue;
    }
    if (policy || !(policy = policy_named(argv[i]))) {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (!policy) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  TrayStandIn tray(*policy, say, ask_person);
  class_commp listener;
  listener.connect_timeout = kPipeTimeout;
  listener.write_timeout = kPipeTimeout;
  listener.text_handler = [&tray](unsigned long pid, const std::u16string& message) {
    std::optional<std::u16string> answer = tray.answer(pid, message);
    // Silent: the asker keeps waiting, as for a tray program that hangs, until this program ends.
    while (!answer) std::this_thread::sleep_for(std::chrono::hours(1));
    return *answer;
  };
  say(text::to_utf8(text::format(u"listening on the channel \"usb_device\" as process %i",
                                 static_cast<int>(os::GetCurrentProcessId()))));
  listener.listen(u"usb_device");
  return 1;  // the channel's pipe is served by another process already
}
