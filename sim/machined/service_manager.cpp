#include "service_manager.h"

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>

#include "driver_image.h"
#include "platform/handle.h"
#include "platform/sim/command_line.h"
#include "platform/sim/host.h"
#include "platform/sim/spawn.h"
#include "service_store.h"
#include "text/chars.h"
#include "text/utf.h"

namespace machined {

namespace {

constexpr std::size_t kMaxNameLength = 256;
constexpr DWORD kDefaultStartTimeoutMs = 10000;

// What a standard user may ask for.
constexpr DWORD kUserManagerRights = SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS | READ_CONTROL;
constexpr DWORD kUserServiceRights = SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS |
                                     SERVICE_INTERROGATE | SERVICE_USER_DEFINED_CONTROL | READ_CONTROL;

struct GenericMapping {
  DWORD read, write, execute, all;
};
constexpr GenericMapping kManagerMapping{
    SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS | READ_CONTROL,
    SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG | READ_CONTROL,
    SC_MANAGER_CONNECT | SC_MANAGER_LOCK | READ_CONTROL, SC_MANAGER_ALL_ACCESS};
constexpr GenericMapping kServiceMapping{
    SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE | SERVICE_ENUMERATE_DEPENDENTS | READ_CONTROL,
    SERVICE_CHANGE_CONFIG | READ_CONTROL,
    SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE | SERVICE_USER_DEFINED_CONTROL | READ_CONTROL,
    SERVICE_ALL_ACCESS};

DWORD grant(uid_t caller, DWORD wanted, const GenericMapping& mapping, DWORD user_rights, DWORD& granted) {
  const DWORD allowed = caller == 0 ? mapping.all : user_rights;
  DWORD specific = wanted & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
  if (wanted & GENERIC_READ) specific |= mapping.read;
  if (wanted & GENERIC_WRITE) specific |= mapping.write;
  if (wanted & GENERIC_EXECUTE) specific |= mapping.execute;
  if (wanted & GENERIC_ALL) specific |= mapping.all;
  if (wanted & MAXIMUM_ALLOWED) specific |= allowed;
  if (specific & ~allowed) return ERROR_ACCESS_DENIED;
  granted = specific;
  return ERROR_SUCCESS;
}

std::u16string key_of(std::u16string_view name) { return text::fold_case(name); }

bool valid_name(std::u16string_view name) {
  return !name.empty() && name.size() <= kMaxNameLength && name.find_first_of(u"\\/") == std::u16string_view::npos;
}

bool is_driver(DWORD type) { return (type & SERVICE_DRIVER) != 0; }

bool valid_type(DWORD type) {
  switch (type) {
    case SERVICE_KERNEL_DRIVER:
    case SERVICE_FILE_SYSTEM_DRIVER:
    case SERVICE_WIN32_OWN_PROCESS:
    case SERVICE_WIN32_SHARE_PROCESS:
    case SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS:
    case SERVICE_WIN32_SHARE_PROCESS | SERVICE_INTERACTIVE_PROCESS:
      return true;
    default:
      return false;
  }
}

// The program of a command line and its arguments: a quoted first token, or up to the first blank.
struct ProgramLine {
  std::u16string program;
  std::u16string arguments;
};

ProgramLine split_program(std::u16string_view line) {
  while (!line.empty() && (line.front() == u' ' || line.front() == u'\t')) line.remove_prefix(1);
  ProgramLine out;
  std::size_t end;
  if (!line.empty() && line.front() == u'"') {
    end = line.find(u'"', 1);
    out.program = std::u16string(line.substr(1, end == std::u16string_view::npos ? std::u16string_view::npos : end - 1));
    end = end == std::u16string_view::npos ? line.size() : end + 1;
  } else {
    end = std::min(line.find_first_of(u" \t"), line.size());
    out.program = std::u16string(line.substr(0, end));
  }
  out.arguments = std::u16string(line.substr(end));
  return out;
}

bool process_ended(pid_t pid) {
  int status = 0;
  return ::waitpid(pid, &status, WNOHANG) == pid;
}

}  // namespace

DWORD service_start_timeout_ms() {
  os::unique_hkey key;
  DWORD value = 0, type = 0, size = sizeof value;
  if (os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control", 0, KEY_QUERY_VALUE, key.put()) ==
          ERROR_SUCCESS &&
      os::RegQueryValueExW(key.get(), u"ServicesPipeTimeout", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
          ERROR_SUCCESS &&
      type == REG_DWORD && size == sizeof value && value > 0) {
    return value;
  }
  return kDefaultStartTimeoutMs;
}

ServiceManager::ServiceManager(std::condition_variable& changed, VostUsbDriver& driver)
    : changed_(changed), driver_(driver) {
  // A service marked for deletion before the machine went down goes now, as at a Windows start.
  for (const ServiceConfig& config : all_services()) {
    if (config.delete_flag) remove_service(config.name);
  }
}

DWORD ServiceManager::manager_access(uid_t caller, DWORD wanted, DWORD& granted) {
  return grant(caller, wanted | SC_MANAGER_CONNECT, kManagerMapping, kUserManagerRights, granted);
}

DWORD ServiceManager::service_access(uid_t caller, DWORD wanted, DWORD& granted) {
  return grant(caller, wanted, kServiceMapping, kUserServiceRights, granted);
}

ServiceManager::Run& ServiceManager::run(const std::u16string& key) {
  auto it = runs_.find(key);
  if (it == runs_.end()) {
    it = runs_.emplace(key, Run{}).first;
    it->second.exit_code = ERROR_SERVICE_NEVER_STARTED;
  }
  return it->second;
}

DWORD ServiceManager::create(const CreateRequest& request, std::u16string& key) {
  if (!valid_name(request.name) || request.display_name.size() > kMaxNameLength) return ERROR_INVALID_NAME;
  if (!valid_type(request.type) || request.start > SERVICE_DISABLED || request.error_control > SERVICE_ERROR_CRITICAL ||
      request.binary_path.empty() || (!is_driver(request.type) && request.start < SERVICE_AUTO_START)) {
    return ERROR_INVALID_PARAMETER;
  }
  key = key_of(request.name);
  if (const auto existing = read_service(request.name)) {
    return existing->delete_flag || run(key).marked ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS;
  }
  const std::u16string display = request.display_name.empty() ? request.name : request.display_name;
  for (const ServiceConfig& other : all_services()) {
    if (text::equals_nocase(other.display_name, request.name) || text::equals_nocase(other.name, display) ||
        text::equals_nocase(other.display_name, display)) {
      return ERROR_DUPLICATE_SERVICE_NAME;
    }
  }
  ServiceConfig config;
  config.name = request.name;
  config.type = request.type;
  config.start = request.start;
  config.error_control = request.error_control;
  config.image_path = request.binary_path;
  config.display_name = display;
  config.group = request.group;
  const LSTATUS written = write_service(config);
  if (written != ERROR_SUCCESS) {
    remove_service(config.name);  // nothing half-written stays
    return static_cast<DWORD>(written);
  }
  runs_.erase(key);  // a new service: never started
  run(key).handles++;
  return ERROR_SUCCESS;
}

DWORD ServiceManager::open(std::u16string_view name, std::u16string& key) {
  if (!valid_name(name)) return ERROR_INVALID_NAME;
  if (!read_service(name)) return ERROR_SERVICE_DOES_NOT_EXIST;
  key = key_of(name);
  run(key).handles++;
  return ERROR_SUCCESS;
}

void ServiceManager::close(const std::u16string& key) {
  Run& r = run(key);
  if (r.handles > 0) r.handles--;
  remove_if_done(key);
}

DWORD ServiceManager::start(const std::u16string& key, Lock& lock) {
  const auto config = read_service(key);
  if (!config) return ERROR_SERVICE_DOES_NOT_EXIST;
  Run& r = run(key);
  if (r.marked || config->delete_flag) return ERROR_SERVICE_MARKED_FOR_DELETE;
  if (config->start == SERVICE_DISABLED) return ERROR_SERVICE_DISABLED;
  if (r.state != SERVICE_STOPPED) return ERROR_SERVICE_ALREADY_RUNNING;
  if (is_driver(config->type)) {
    const std::u16string image =
        config->image_path.empty() ? u"System32\\drivers\\" + config->name + u".sys" : config->image_path;
    return start_driver(key, image);
  }
  return start_program(key, config->image_path, lock);
}

DWORD ServiceManager::start_driver(const std::u16string& key, const std::u16string& image_path) {
  std::string driver;
  const DWORD identified = identify_driver_image(driver_image_file(image_path), driver);
  if (identified != ERROR_SUCCESS) return identified;
  // One device object per driver: a second service of the same image cannot create it again.
  if (driver_.loaded()) return ERROR_ALREADY_EXISTS;
  const auto config = read_service(key);
  driver_.load(config->name, read_text_value(config->name, u"ConfigFilePath"),
               read_text_value(config->name, u"AdmittancesFolderPath"));
  driver_service_ = key;
  Run& r = run(key);
  r.state = SERVICE_RUNNING;
  r.exit_code = 0;
  changed_.notify_all();
  return ERROR_SUCCESS;
}

DWORD ServiceManager::start_program(const std::u16string& key, const std::u16string& command_line, Lock& lock) {
  const ProgramLine line = split_program(command_line);
  const std::string program = os::sim::to_linux_path(line.program);
  std::error_code error;
  if (program.empty() || !std::filesystem::is_regular_file(program, error)) return ERROR_FILE_NOT_FOUND;
  os::sim::SpawnRequest spawn;
  spawn.program = program;
  spawn.arguments.push_back(program);
  for (const std::u16string& argument : os::sim::split_arguments(line.arguments)) {
    spawn.arguments.push_back(text::to_utf8(argument));
  }
  spawn.command_line = text::to_utf8(command_line);
  os::sim::Spawned spawned = os::sim::spawn_process(spawn);
  if (spawned.error != ERROR_SUCCESS) return spawned.error;

  Run& r = run(key);
  const std::uint64_t attempt = next_attempt_++;
  r.state = SERVICE_START_PENDING;
  r.pid = spawned.pid;
  r.attempt = attempt;
  changed_.notify_all();
  // The program has the start time-out to connect to the manager. The simulated machine has no
  // service dispatcher, so a started program never does: the start fails with 1053 and the
  // program keeps running, or with 1067 when it ends before that.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(service_start_timeout_ms());
  DWORD result = ERROR_SERVICE_REQUEST_TIMEOUT;
  while (std::chrono::steady_clock::now() < deadline) {
    if (process_ended(spawned.pid)) {
      result = ERROR_PROCESS_ABORTED;
      break;
    }
    changed_.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(50)));
  }
  Run& after = run(key);
  if (after.attempt == attempt) {
    if (result == ERROR_SERVICE_REQUEST_TIMEOUT) abandoned_.push_back(spawned.pid);
    after.state = SERVICE_STOPPED;
    after.pid = 0;
    after.exit_code = result;
    remove_if_done(key);
    changed_.notify_all();
  }
  return result;
}

DWORD ServiceManager::control(const std::u16string& key, DWORD code, ServiceStatus& status) {
  const auto config = read_service(key);
  if (!config) return ERROR_SERVICE_DOES_NOT_EXIST;
  Run& r = run(key);
  DWORD result = ERROR_SUCCESS;
  switch (code) {
    case SERVICE_CONTROL_STOP:
      if (r.state == SERVICE_STOPPED) {
        result = ERROR_SERVICE_NOT_ACTIVE;
      } else if (r.state != SERVICE_RUNNING) {
        result = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
      } else if (key == driver_service_) {
        // A driver unloads when its last device handle has closed; until then the stop is pending.
        r.state = SERVICE_STOP_PENDING;
        finish_stop_if_unloaded();
      } else {
        r.state = SERVICE_STOPPED;
        r.exit_code = 0;
      }
      break;
    case SERVICE_CONTROL_INTERROGATE:
      if (r.state == SERVICE_STOPPED) result = ERROR_SERVICE_NOT_ACTIVE;
      break;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
      result = r.state == SERVICE_STOPPED ? ERROR_SERVICE_NOT_ACTIVE : ERROR_INVALID_SERVICE_CONTROL;
      break;
    default:
      if (code < 128 || code > 255) return ERROR_INVALID_PARAMETER;
      result = r.state == SERVICE_STOPPED ? ERROR_SERVICE_NOT_ACTIVE : ERROR_INVALID_SERVICE_CONTROL;
  }
  status = status_of(key, config->type);
  remove_if_done(key);
  changed_.notify_all();
  return result;
}

DWORD ServiceManager::query(const std::u16string& key, ServiceStatus& status) {
  const auto config = read_service(key);
  if (!config) return ERROR_SERVICE_DOES_NOT_EXIST;
  status = status_of(key, config->type);
  return ERROR_SUCCESS;
}

DWORD ServiceManager::remove(const std::u16string& key) {
  const auto config = read_service(key);
  if (!config) return ERROR_SERVICE_DOES_NOT_EXIST;
  Run& r = run(key);
  if (r.marked || config->delete_flag) return ERROR_SERVICE_MARKED_FOR_DELETE;
  const LSTATUS flagged = set_delete_flag(config->name);
  if (flagged != ERROR_SUCCESS) return static_cast<DWORD>(flagged);
  r.marked = true;
  remove_if_done(key);
  return ERROR_SUCCESS;
}

void ServiceManager::device_closed() { finish_stop_if_unloaded(); }

void ServiceManager::finish_stop_if_unloaded() {
  if (driver_service_.empty()) return;
  Run& r = run(driver_service_);
  if (r.state != SERVICE_STOP_PENDING || driver_.open_handles() > 0) return;
  driver_.unload();
  r.state = SERVICE_STOPPED;
  r.exit_code = 0;
  const std::u16string key = std::exchange(driver_service_, std::u16string());
  remove_if_done(key);
  changed_.notify_all();
}

void ServiceManager::remove_if_done(const std::u16string& key) {
  const auto it = runs_.find(key);
  if (it == runs_.end()) return;
  const Run& r = it->second;
  if (!r.marked || r.handles > 0 || r.state != SERVICE_STOPPED) return;
  if (const auto config = read_service(key)) remove_service(config->name);
  runs_.erase(it);
}

ServiceStatus ServiceManager::status_of(const std::u16string& key, DWORD type) {
  const Run& r = run(key);
  ServiceStatus status;
  status.type = type;
  status.state = r.state;
  status.controls_accepted = r.state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status.exit_code = r.state == SERVICE_STOPPED ? r.exit_code : 0;
  status.wait_hint = r.state == SERVICE_START_PENDING || r.state == SERVICE_STOP_PENDING ? 2000 : 0;
  status.pid = is_driver(type) ? 0 : static_cast<DWORD>(r.pid);
  return status;
}

std::vector<ServiceRow> ServiceManager::rows() {
  std::vector<ServiceRow> rows;
  for (const ServiceConfig& config : all_services()) {
    const auto it = runs_.find(key_of(config.name));
    rows.push_back({config.name, config.type, config.start,
                    it == runs_.end() ? SERVICE_STOPPED : it->second.state, config.image_path});
  }
  return rows;
}

void ServiceManager::reap() {
  std::erase_if(abandoned_, [](pid_t pid) { return process_ended(pid); });
}

void ServiceManager::end_programs() {
  for (const auto& [key, r] : runs_) {
    if (r.pid > 0) ::kill(r.pid, SIGTERM);
  }
  for (pid_t pid : abandoned_) ::kill(pid, SIGTERM);
}

}  // namespace machined
