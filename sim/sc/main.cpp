// sc.exe for the simulated machine: create, start, stop, delete and query services through the
// platform layer's service manager, with the output of the Windows tool. The exit status is the
// Win32 error of the failed step (0 on success); 1639 for a command line it does not understand.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/handle.h"
#include "platform/os.h"
#include "sc_arguments.h"
#include "sc_output.h"
#include "text/utf.h"

namespace {

constexpr int kInvalidCommandLine = 1639;  // ERROR_INVALID_COMMAND_LINE

const char kUsage[] =
    "DESCRIPTION:\n"
    "        SC is a command line program used for communicating with the\n"
    "        Service Control Manager and services.\n"
    "USAGE:\n"
    "        sc <command> [service name] <option1> <option2>...\n"
    "\n"
    "        Commands: create, start, stop, delete, query.\n"
    "        create options: binPath= <command line> type= <own|share|kernel|filesys>\n"
    "                        start= <boot|system|auto|demand|disabled> DisplayName= <name>\n"
    "        NOTE: the option name includes the equal sign; a space follows it.\n";

int print(const std::string& text, int status) {
  std::fputs(text.c_str(), stdout);
  return status;
}

int usage() { return print(kUsage, kInvalidCommandLine); }

int failed(const std::string& what) {
  const DWORD code = os::GetLastError();
  return print(sc::failure_block(what, code), static_cast<int>(code));
}

SERVICE_STATUS_PROCESS widen(const SERVICE_STATUS& s) {
  return {s.dwServiceType, s.dwCurrentState, s.dwControlsAccepted, s.dwWin32ExitCode,
          s.dwServiceSpecificExitCode, s.dwCheckPoint, s.dwWaitHint, 0, 0};
}

bool query(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) {
  DWORD needed = 0;
  return os::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                                  &needed) != FALSE;
}

int run(const sc::Command& command) {
  const std::string name = text::to_utf8(command.service);
  const DWORD manager_access = command.verb == "create" ? SC_MANAGER_CREATE_SERVICE : SC_MANAGER_CONNECT;
  os::unique_schandle manager(os::OpenSCManagerW(nullptr, nullptr, manager_access));
  if (!manager) return failed("OpenSCManager");

  if (command.verb == "create") {
    DWORD type = SERVICE_WIN32_OWN_PROCESS, start = SERVICE_DEMAND_START;
    std::u16string binary_path, display_name;
    for (const auto& [option, value] : command.options) {
      if (option == "binpath") {
        binary_path = value;
      } else if (option == "displayname") {
        display_name = value;
      } else if (option == "type" && sc::service_type(value)) {
        type = *sc::service_type(value);
      } else if (option == "start" && sc::start_type(value)) {
        start = *sc::start_type(value);
      } else {
        return usage();
      }
    }
    if (binary_path.empty()) return usage();
    os::unique_schandle service(os::CreateServiceW(manager.get(), command.service.c_str(),
                                                   display_name.empty() ? nullptr : display_name.c_str(),
                                                   SERVICE_ALL_ACCESS, type, start, SERVICE_ERROR_NORMAL,
                                                   binary_path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service) return failed("CreateService");
    return print(sc::success_line("CreateService"), 0);
  }
  if (!command.options.empty()) return usage();

  if (command.verb == "start") {
    os::unique_schandle service(os::OpenServiceW(manager.get(), command.service.c_str(), SERVICE_START | SERVICE_QUERY_STATUS));
    if (!service) return failed("StartService: OpenService");
    if (!os::StartServiceW(service.get(), 0, nullptr)) return failed("StartService");
    SERVICE_STATUS_PROCESS status{};
    if (!query(service.get(), status)) return failed("QueryServiceStatusEx");
    return print(sc::status_block(name, status, true), 0);
  }
  if (command.verb == "stop") {
    os::unique_schandle service(os::OpenServiceW(manager.get(), command.service.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!service) return failed("OpenService");
    SERVICE_STATUS status{};
    if (!os::ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) return failed("ControlService");
    return print(sc::status_block(name, widen(status), false), 0);
  }
  if (command.verb == "delete") {
    os::unique_schandle service(os::OpenServiceW(manager.get(), command.service.c_str(), DELETE));
    if (!service) return failed("OpenService");
    if (!os::DeleteService(service.get())) return failed("DeleteService");
    return print(sc::success_line("DeleteService"), 0);
  }
  if (command.verb == "query") {
    os::unique_schandle service(os::OpenServiceW(manager.get(), command.service.c_str(), SERVICE_QUERY_STATUS));
    if (!service) return failed("EnumQueryServicesStatus:OpenService");
    SERVICE_STATUS_PROCESS status{};
    if (!query(service.get(), status)) return failed("QueryServiceStatusEx");
    return print(sc::status_block(name, status, false), 0);
  }
  return usage();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::u16string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(text::from_utf8(argv[i]));
  if (arguments.empty()) return print(kUsage, 0);
  const auto command = sc::parse_command(arguments);
  if (!command) return usage();
  return run(*command);
}
