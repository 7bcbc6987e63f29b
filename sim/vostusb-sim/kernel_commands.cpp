// up, shutdown, services and driver: the machine's kernel (the machine daemon).
#include <cstdio>
#include <string>

#include "commands.h"
#include "platform/os.h"
#include "platform/sim/machine_link.h"

namespace sim_cli {

namespace {

using os::sim::machine::Message;
using os::sim::machine::to_number;

std::string type_name(DWORD type) {
  if (type & SERVICE_KERNEL_DRIVER) return "kernel";
  if (type & SERVICE_FILE_SYSTEM_DRIVER) return "filesys";
  if (type & SERVICE_WIN32_OWN_PROCESS) return "own";
  if (type & SERVICE_WIN32_SHARE_PROCESS) return "share";
  return std::to_string(type);
}

std::string start_name(DWORD start) {
  static const char* const kNames[] = {"boot", "system", "auto", "demand", "disabled"};
  return start < 5 ? kNames[start] : std::to_string(start);
}

std::string state_name(DWORD state) {
  static const char* const kNames[] = {"stopped", "start_pending", "stop_pending", "running",
                                       "continue_pending", "pause_pending", "paused"};
  return state >= 1 && state <= 7 ? kNames[state - 1] : std::to_string(state);
}

// One query of the daemon (started if needed): its reply without the result field.
bool ask(const Message& request, Message& reply) {
  os::sim::UniqueFd fd;
  if (os::sim::machine::connect(fd) != ERROR_SUCCESS) return false;
  if (os::sim::machine::call(fd.get(), request, reply) != ERROR_SUCCESS || reply.empty() || reply[0] != "0") {
    return false;
  }
  reply.erase(reply.begin());
  return true;
}

}  // namespace

int cmd_up(const Args& args) {
  if (!args.empty()) return fail(kBadInput, "up takes no arguments");
  os::sim::UniqueFd fd;
  if (os::sim::machine::connect(fd) != ERROR_SUCCESS) return fail(kRefused, "the machine daemon does not start");
  return 0;
}

int cmd_shutdown(const Args& args) {
  if (!args.empty()) return fail(kBadInput, "shutdown takes no arguments");
  if (!os::sim::machine::shutdown_daemon()) return fail(kRefused, "the machine daemon does not end");
  return 0;
}

int cmd_services(const Args& args) {
  if (!args.empty()) return fail(kBadInput, "services takes no arguments");
  Message rows;
  if (!ask({"services"}, rows)) return fail(kRefused, "the machine daemon does not answer");
  std::printf("%-24s %-8s %-9s %-14s %s\n", "NAME", "TYPE", "START", "STATE", "IMAGE");
  for (std::size_t i = 0; i + 5 <= rows.size(); i += 5) {
    std::printf("%-24s %-8s %-9s %-14s %s\n", rows[i].c_str(), type_name(static_cast<DWORD>(to_number(rows[i + 1]))).c_str(),
                start_name(static_cast<DWORD>(to_number(rows[i + 2]))).c_str(),
                state_name(static_cast<DWORD>(to_number(rows[i + 3]))).c_str(), rows[i + 4].c_str());
  }
  return 0;
}

int cmd_driver(const Args& args) {
  if (!args.empty()) return fail(kBadInput, "driver takes no arguments");
  Message lines;
  if (!ask({"driver"}, lines)) return fail(kRefused, "the machine daemon does not answer");
  for (const std::string& line : lines) std::printf("%s\n", line.c_str());
  return 0;
}

}  // namespace sim_cli
