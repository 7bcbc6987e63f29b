// A second process of the machine for the platform tests: it does one thing through os:: and
// reports on standard output.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/handle.h"
#include "platform/os.h"
#include "text/utf.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: platform_helper reg-fill KEY PREFIX COUNT | ods TEXT COUNT | tick | cmdline | module\n");
  return 2;
}

// Sets PREFIX0 .. PREFIX<COUNT-1> in HKLM\KEY to their numbers, each write a call of its own.
int reg_fill(const std::string& subkey, const std::string& prefix, int count) {
  const std::u16string key_name = text::from_utf8(subkey);
  for (int i = 0; i < count; ++i) {
    os::unique_hkey key;
    LSTATUS status = os::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key_name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                         key.put(), nullptr);
    const DWORD value = static_cast<DWORD>(i);
    const std::u16string name = text::from_utf8(prefix + std::to_string(i));
    if (status == ERROR_SUCCESS) {
      status = os::RegSetValueExW(key.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    }
    if (status != ERROR_SUCCESS) {
      std::fprintf(stderr, "write %d failed: %ld\n", i, static_cast<long>(status));
      return 1;
    }
  }
  return 0;
}

// Two threads write COUNT debugger lines each: "TEXT <thread> <i>".
int ods(const std::string& text, int count) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < count; ++i) {
        const std::string line = text + " " + std::to_string(t) + " " + std::to_string(i) + "\r\n";
        os::OutputDebugStringW(text::from_utf8(line).c_str());
      }
    });
  }
  for (auto& thread : threads) thread.join();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 4 && args[0] == "reg-fill") return reg_fill(args[1], args[2], std::atoi(args[3].c_str()));
  if (args.size() == 3 && args[0] == "ods") return ods(args[1], std::atoi(args[2].c_str()));
  if (args.size() == 1 && args[0] == "tick") {
    std::printf("%lu\n", static_cast<unsigned long>(os::GetTickCount()));
    return 0;
  }
  if (args.size() >= 1 && args[0] == "cmdline") {
    std::fputs(text::to_utf8_display(os::GetCommandLineW()).c_str(), stdout);
    return 0;
  }
  if (args.size() == 1 && args[0] == "module") {
    char16_t path[1024];
    const DWORD length = os::GetModuleFileNameW(nullptr, path, 1024);
    std::fputs(text::to_utf8_display(std::u16string_view(path, length)).c_str(), stdout);
    return length == 0 ? 1 : 0;
  }
  return usage();
}
