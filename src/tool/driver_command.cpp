// "driver": the driver control library's operations with the names and paths the guard uses, so
// an administrator can manage the filter driver without the guard. Each failure prints
// "<code>: <status text>" on standard error and exits 1; wrong arguments exit 2.
#include <cstdio>
#include <cstring>
#include <string>

#include "library/manager.h"
#include "library/service/sc_manager.h"
#include "platform/handle.h"
#include "process/named_paths.h"
#include "text/utf.h"
#include "tool/commands.h"
#include "tool/tool_io.h"

namespace tool {

namespace {

// The process's own headers declare a global `Manager` for its library instance; the tool names
// the library's classes one by one.
using VostUsbWardenManager::ConfigDriverAndFile;
using VostUsbWardenManager::FilesAndCacheMode;
using VostUsbWardenManager::JsonHolder;
using VostUsbWardenManager::Manager;
using VostUsbWardenManager::Option_filesAndCacheMode;
using VostUsbWardenManager::SCManager;

constexpr const char16_t* kServiceName = u"VostUsb";
constexpr const char16_t* kDevicePath = u"\\\\.\\VostUsb";
// The guard's own polling intervals: 10 ms for install, start and stop, 50 ms for uninstall.
constexpr std::uint32_t kPoll = 10;
constexpr std::uint32_t kUninstallPoll = 50;
constexpr std::uint32_t kServiceNotActive = 1062;

int report(std::uint32_t code, const std::u16string& status_text) {
  std::fprintf(stderr, "%u: %s\n", static_cast<unsigned>(code), text::to_utf8_display(status_text).c_str());
  return 1;
}

void print(const std::string& line) { write_stdout(line + "\n"); }

// A library result: its failure reported, or `line` printed.
int finish(std::uint32_t r, const std::u16string& status_text, const std::string& line) {
  if (r != 0) return report(r, status_text);
  print(line);
  return 0;
}

const char* state_name(std::uint32_t state) {
  switch (state) {
    case SERVICE_STOPPED: return "STOPPED";
    case SERVICE_START_PENDING: return "START_PENDING";
    case SERVICE_STOP_PENDING: return "STOP_PENDING";
    case SERVICE_RUNNING: return "RUNNING";
    case SERVICE_CONTINUE_PENDING: return "CONTINUE_PENDING";
    case SERVICE_PAUSE_PENDING: return "PAUSE_PENDING";
    case SERVICE_PAUSED: return "PAUSED";
    default: return "UNKNOWN";
  }
}

std::string state_text(std::uint32_t state) {
  return std::string(state_name(state)) + " (" + std::to_string(state) + ")";
}

// The state the waiting loops last reported.
void remember_state(std::uint32_t value, void* context) { *static_cast<std::uint32_t*>(context) = value; }

int install(Manager& m) {
  std::u16string status;
  const std::u16string image = get_named_path(u"sys");
  const std::u16string config = get_named_path(u"config");
  const std::u16string admittances = get_named_path(u"internal_accept");
  const std::uint32_t r = m.Install(kPoll, image.c_str(), config.c_str(), admittances.c_str(), SERVICE_DEMAND_START,
                                    nullptr, nullptr, nullptr, status, true, nullptr, nullptr);
  return finish(r, status, "installed: " + text::to_utf8_display(image));
}

int start(Manager& m) {
  std::u16string status;
  std::uint32_t state = 0;
  const std::uint32_t r = m.Start(kPoll, status, &state, remember_state);
  return finish(r, status, "state: " + state_text(state));
}

// The library reports a service that is not running, or cannot be stopped, with result 0 and a
// status text; for an administrator only the first is no failure.
int stop(Manager& m) {
  std::u16string status;
  std::uint32_t state = 0;
  const std::uint32_t r = m.Stop(kPoll, status, &state, remember_state);
  if (r != 0) return report(r, status);
  if (!status.empty()) {
    if (m.ServiceLastError() != kServiceNotActive) return report(m.ServiceLastError(), status);
    print("state: " + state_text(SERVICE_STOPPED) + ", was not running");
    return 0;
  }
  print("state: " + state_text(state));
  return 0;
}

int uninstall(Manager& m) {
  std::u16string status;
  return finish(m.Uninstall(kUninstallPoll, status, nullptr, nullptr), status, "uninstalled");
}

int hubs(Manager& m, bool on) {
  std::u16string status;
  return finish(m.SetHubsAccept(on, ConfigDriverAndFile, status), status,
                std::string("hubs_always_accepted: ") + (on ? "true" : "false"));
}

int cache(Manager& m, unsigned mode) {
  std::u16string status;
  const std::uint32_t r = m.SetMainOption(ConfigDriverAndFile, 0, Option_filesAndCacheMode, false,
                                          static_cast<FilesAndCacheMode>(mode), status);
  return finish(r, status, "filesAndCacheMode: " + std::to_string(mode));
}

// "ServiceActive" is not the library's to read; the tool shows it as the service key holds it.
std::string service_active() {
  os::unique_hkey key;
  const std::u16string path = std::u16string(u"SYSTEM\\CurrentControlSet\\services\\") + kServiceName;
  if (os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()) != 0) return "-";
  DWORD type = 0, value = 0, size = sizeof value;
  if (os::RegQueryValueExW(key.get(), u"ServiceActive", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != 0 ||
      type != REG_DWORD || size != sizeof value) {
    return "-";
  }
  return std::to_string(value);
}

int status(Manager& m) {
  SCManager scm;
  scm.init(kServiceName, kServiceName);
  SERVICE_STATUS_PROCESS ssp{};
  std::uint32_t r = scm.OpenManager();
  if (r == 0) r = scm.OpenSvc(SERVICE_QUERY_STATUS);
  if (r == 0) r = scm.QueryStatus(ssp);
  if (r != 0) return report(r, scm.getStatus());
  print("service: " + text::to_utf8_display(kServiceName));
  print("state: " + state_text(ssp.dwCurrentState));

  std::u16string status_text, config, folder;
  const std::uint32_t config_read = m.GetConfigFile(config, status_text);
  print("ConfigFilePath: " + (config_read == 0 ? text::to_utf8_display(config) : "-"));
  std::u16string folder_status;
  const std::uint32_t folder_read = m.GetConfigRegSzValue(u"AdmittancesFolderPath", folder, folder_status);
  print("AdmittancesFolderPath: " + (folder_read == 0 ? text::to_utf8_display(folder) : "-"));
  print("ServiceActive: " + service_active());
  if (config_read != 0) return report(config_read, status_text);

  JsonHolder document;
  if (const std::uint32_t load = JsonHolder::LoadFromFile(config, document, status_text)) return report(load, status_text);
  if (const std::uint32_t bad = Manager::ValidateConfigJson(document, status_text)) return report(bad, status_text);
  print("config: " + text::to_utf8_display(document.ToString()));
  if (folder_read != 0) return report(folder_read, folder_status);
  return 0;
}

int usage() { return fail(2, "usage: driver status|install|start|stop|uninstall|hubs on|off|cache 0-3"); }

}  // namespace

int cmd_driver(const Args& args) {
  if (args.empty()) return usage();
  const std::string& what = args[0];
  Manager m(kServiceName, kServiceName, kDevicePath);
  if (args.size() == 1) {
    if (what == "status") return status(m);
    if (what == "install") return install(m);
    if (what == "start") return start(m);
    if (what == "stop") return stop(m);
    if (what == "uninstall") return uninstall(m);
    return usage();
  }
  if (args.size() != 2) return usage();
  if (what == "hubs" && (args[1] == "on" || args[1] == "off")) return hubs(m, args[1] == "on");
  if (what == "cache" && args[1].size() == 1 && args[1][0] >= '0' && args[1][0] <= '3') {
    return cache(m, static_cast<unsigned>(args[1][0] - '0'));
  }
  return usage();
}

}  // namespace tool
