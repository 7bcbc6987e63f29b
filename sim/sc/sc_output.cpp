#include "sc_output.h"

#include <cstdio>

namespace sc {

namespace {

std::string type_text(DWORD type) {
  std::string name;
  switch (type & ~SERVICE_INTERACTIVE_PROCESS) {
    case SERVICE_KERNEL_DRIVER: name = "KERNEL_DRIVER"; break;
    case SERVICE_FILE_SYSTEM_DRIVER: name = "FILE_SYSTEM_DRIVER"; break;
    case SERVICE_WIN32_OWN_PROCESS: name = "WIN32_OWN_PROCESS"; break;
    case SERVICE_WIN32_SHARE_PROCESS: name = "WIN32_SHARE_PROCESS"; break;
    default: name = "UNKNOWN"; break;
  }
  if (type & SERVICE_INTERACTIVE_PROCESS) name += "  (interactive)";
  char head[32];
  std::snprintf(head, sizeof head, "%x  ", type);
  return head + name;
}

std::string state_text(DWORD state) {
  static const char* const kNames[] = {"STOPPED", "START_PENDING", "STOP_PENDING", "RUNNING",
                                       "CONTINUE_PENDING", "PAUSE_PENDING", "PAUSED"};
  return std::to_string(state) + "  " + (state >= 1 && state <= 7 ? kNames[state - 1] : "UNKNOWN");
}

std::string controls_text(DWORD accepted) {
  std::string text = "(";
  text += (accepted & SERVICE_ACCEPT_STOP) ? "STOPPABLE" : "NOT_STOPPABLE";
  text += (accepted & SERVICE_ACCEPT_PAUSE_CONTINUE) ? ", PAUSABLE" : ", NOT_PAUSABLE";
  text += (accepted & SERVICE_ACCEPT_SHUTDOWN) ? ", ACCEPTS_SHUTDOWN)" : ", IGNORES_SHUTDOWN)";
  return text;
}

std::string code_text(DWORD code) {
  char text[48];
  std::snprintf(text, sizeof text, "%u  (0x%x)", code, code);
  return text;
}

std::string hex(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

std::string field(const char* name, const std::string& value) {
  char head[64];
  std::snprintf(head, sizeof head, "        %-19s: ", name);
  return head + value + "\n";
}

}  // namespace

std::string success_line(const std::string& what) { return "[SC] " + what + " SUCCESS\n"; }

std::string failure_block(const std::string& what, DWORD code) {
  return "[SC] " + what + " FAILED " + std::to_string(code) + ":\n\n" + message_text(code) + "\n\n";
}

std::string message_text(DWORD code) {
  struct Text {
    DWORD code;
    const char* text;
  };
  static const Text kTexts[] = {
      {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
      {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
      {ERROR_ACCESS_DENIED, "Access is denied."},
      {ERROR_INVALID_HANDLE, "The handle is invalid."},
      {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
      {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
      {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
      {ERROR_BAD_EXE_FORMAT, "%1 is not a valid Win32 application."},
      {ERROR_INVALID_SERVICE_CONTROL, "The requested control is not valid for this service."},
      {ERROR_SERVICE_REQUEST_TIMEOUT, "The service did not respond to the start or control request in a timely fashion."},
      {ERROR_SERVICE_ALREADY_RUNNING, "An instance of the service is already running."},
      {ERROR_SERVICE_DISABLED,
       "The service cannot be started, either because it is disabled or because it has no enabled devices associated "
       "with it."},
      {ERROR_SERVICE_DOES_NOT_EXIST, "The specified service does not exist as an installed service."},
      {ERROR_SERVICE_CANNOT_ACCEPT_CTRL, "The service cannot accept control messages at this time."},
      {ERROR_SERVICE_NOT_ACTIVE, "The service has not been started."},
      {ERROR_PROCESS_ABORTED, "The process terminated unexpectedly."},
      {ERROR_SERVICE_MARKED_FOR_DELETE, "The specified service has been marked for deletion."},
      {ERROR_SERVICE_EXISTS, "The specified service already exists."},
      {ERROR_DUPLICATE_SERVICE_NAME, "The name is already in use as either a service name or a service display name."},
      {ERROR_DEVICE_NOT_CONNECTED, "The device is not connected."},
      {RPC_S_SERVER_UNAVAILABLE, "The RPC server is unavailable."},
  };
  for (const Text& t : kTexts) {
    if (t.code == code) return t.text;
  }
  return "Error " + std::to_string(code) + ".";
}

std::string status_block(const std::string& name, const SERVICE_STATUS_PROCESS& status, bool with_process) {
  std::string out = "\nSERVICE_NAME: " + name + "\n";
  out += field("TYPE", type_text(status.dwServiceType));
  out += field("STATE", state_text(status.dwCurrentState));
  if (status.dwCurrentState != SERVICE_STOPPED) out += "                                " + controls_text(status.dwControlsAccepted) + "\n";
  out += field("WIN32_EXIT_CODE", code_text(status.dwWin32ExitCode));
  out += field("SERVICE_EXIT_CODE", code_text(status.dwServiceSpecificExitCode));
  out += field("CHECKPOINT", hex(status.dwCheckPoint));
  out += field("WAIT_HINT", hex(status.dwWaitHint));
  if (with_process) {
    out += field("PID", std::to_string(status.dwProcessId));
    out += field("FLAGS", status.dwServiceFlags & SERVICE_RUNS_IN_SYSTEM_PROCESS ? "RUNS_IN_SYSTEM_PROCESS" : "");
  }
  return out;
}

}  // namespace sc
