// The service control manager of the simulated host. The manager itself runs in the machine
// daemon (sim/machined); every manager or service handle of a process is one connection to it, so
// the daemon counts open handles (a service marked for deletion goes with the last one) and a
// process that ends closes its handles as Windows does.
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/os.h"
#include "platform/sim/machine_link.h"
#include "text/chars.h"
#include "text/utf.h"

namespace os {

namespace {

using sim::machine::Message;
using sim::machine::number;
using sim::machine::to_number;

struct ScObject {
  bool is_manager = false;
  DWORD access = 0;
  sim::UniqueFd link;
  std::mutex calls;  // one request at a time on the connection
};

struct ScTable {
  std::mutex mutex;
  std::unordered_map<SC_HANDLE, std::shared_ptr<ScObject>> objects;
  std::uintptr_t next = 0x1000;
};

ScTable& table() {
  static ScTable* t = new ScTable;  // outlives static destructors of callers
  return *t;
}

SC_HANDLE add(std::shared_ptr<ScObject> object) {
  ScTable& t = table();
  std::lock_guard lock(t.mutex);
  t.next += 4;
  const auto handle = reinterpret_cast<SC_HANDLE>(t.next);
  t.objects.emplace(handle, std::move(object));
  return handle;
}

// The object of a handle of the wanted kind, else null with ERROR_INVALID_HANDLE set.
std::shared_ptr<ScObject> find(SC_HANDLE handle, bool want_manager) {
  ScTable& t = table();
  std::lock_guard lock(t.mutex);
  const auto it = t.objects.find(handle);
  if (it == t.objects.end() || it->second->is_manager != want_manager) {
    os::SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return it->second;
}

BOOL fail(DWORD code) {
  os::SetLastError(code);
  return FALSE;
}

std::string utf8(const char16_t* text) { return text ? text::to_utf8(text) : std::string(); }

// Sends a request on a handle's connection; TRUE when the daemon answered success (the reply's
// first field is the Win32 result), else FALSE with the last error set.
BOOL request(ScObject& object, const Message& message, Message& reply) {
  std::lock_guard lock(object.calls);
  const DWORD sent = sim::machine::call(object.link.get(), message, reply);
  if (sent != ERROR_SUCCESS) return fail(sent);
  const DWORD code = reply.empty() ? ERROR_INVALID_DATA : static_cast<DWORD>(to_number(reply[0], ERROR_INVALID_DATA));
  if (code != ERROR_SUCCESS) return fail(code);
  return TRUE;
}

// A new handle whose connection starts with `message`; null with the last error on failure.
SC_HANDLE open_handle(bool is_manager, DWORD access, const Message& message) {
  auto object = std::make_shared<ScObject>();
  object->is_manager = is_manager;
  object->access = access;
  const DWORD connected = sim::machine::connect(object->link);
  if (connected != ERROR_SUCCESS) return fail(connected), nullptr;
  Message reply;
  if (!request(*object, message, reply)) return nullptr;
  if (reply.size() > 1) object->access = static_cast<DWORD>(to_number(reply[1]));  // the access granted
  return add(std::move(object));
}

void fill_status(const Message& reply, DWORD* fields, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    fields[i] = i + 1 < reply.size() ? static_cast<DWORD>(to_number(reply[i + 1])) : 0;
  }
}

}  // namespace

SC_HANDLE OpenSCManagerW(const char16_t* machine, const char16_t* database, DWORD access) {
  // Only this machine's manager: another computer's cannot be reached.
  if (machine && *machine) return fail(RPC_S_SERVER_UNAVAILABLE), nullptr;
  if (database && !text::equals_nocase_az(database, SERVICES_ACTIVE_DATABASEW)) {
    return fail(ERROR_DATABASE_DOES_NOT_EXIST), nullptr;
  }
  return open_handle(true, access, {"manager", number(access)});
}

SC_HANDLE CreateServiceW(SC_HANDLE manager, const char16_t* name, const char16_t* display_name, DWORD access,
                         DWORD service_type, DWORD start_type, DWORD error_control, const char16_t* binary_path,
                         const char16_t* load_order_group, DWORD* tag_id, const char16_t* dependencies,
                         const char16_t* service_start_name, const char16_t* password) {
  const auto parent = find(manager, true);
  if (!parent) return nullptr;
  if (!name || !binary_path) return fail(ERROR_INVALID_PARAMETER), nullptr;
  // Tags, dependencies and accounts are not part of the simulated manager.
  if (tag_id || (dependencies && *dependencies) || (service_start_name && *service_start_name) ||
      (password && *password)) {
    return fail(ERROR_CALL_NOT_IMPLEMENTED), nullptr;
  }
  return open_handle(false, access,
                     {"create", number(parent->access), utf8(name), display_name ? utf8(display_name) : utf8(name),
                      number(access), number(service_type), number(start_type), number(error_control),
                      utf8(binary_path), utf8(load_order_group)});
}

SC_HANDLE OpenServiceW(SC_HANDLE manager, const char16_t* name, DWORD access) {
  const auto parent = find(manager, true);
  if (!parent) return nullptr;
  if (!name) return fail(ERROR_INVALID_PARAMETER), nullptr;
  return open_handle(false, access, {"open", number(parent->access), utf8(name), number(access)});
}

BOOL StartServiceW(SC_HANDLE service, DWORD argument_count, const char16_t** arguments) {
  const auto object = find(service, false);
  if (!object) return FALSE;
  Message message{"start"};
  for (DWORD i = 0; i < argument_count; ++i) {
    if (!arguments || !arguments[i]) return fail(ERROR_INVALID_PARAMETER);
    message.push_back(utf8(arguments[i]));
  }
  Message reply;
  return request(*object, message, reply);
}

BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) {
  const auto object = find(service, false);
  if (!object) return FALSE;
  if (!status) return fail(ERROR_INVALID_PARAMETER);
  Message reply;
  const BOOL ok = request(*object, {"control", number(control)}, reply);
  const DWORD error = os::GetLastError();
  // Windows fills the status also when the control fails for the service's state.
  if (reply.size() >= 8) fill_status(reply, &status->dwServiceType, 7);
  os::SetLastError(error);
  return ok;
}

BOOL QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE level, BYTE* buffer, DWORD size, DWORD* needed) {
  const auto object = find(service, false);
  if (!object) return FALSE;
  if (level != SC_STATUS_PROCESS_INFO) return fail(ERROR_INVALID_LEVEL);
  if (!needed) return fail(ERROR_INVALID_PARAMETER);
  *needed = sizeof(SERVICE_STATUS_PROCESS);
  if (!buffer || size < sizeof(SERVICE_STATUS_PROCESS)) return fail(ERROR_INSUFFICIENT_BUFFER);
  Message reply;
  if (!request(*object, {"query"}, reply)) return FALSE;
  DWORD fields[9];
  fill_status(reply, fields, 9);
  SERVICE_STATUS_PROCESS status{};
  static_assert(sizeof status == sizeof fields);
  std::memcpy(&status, fields, sizeof status);
  std::memcpy(buffer, &status, sizeof status);
  return TRUE;
}

BOOL DeleteService(SC_HANDLE service) {
  const auto object = find(service, false);
  if (!object) return FALSE;
  Message reply;
  return request(*object, {"delete"}, reply);
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
  std::shared_ptr<ScObject> object;
  {
    ScTable& t = table();
    std::lock_guard lock(t.mutex);
    const auto it = t.objects.find(handle);
    if (it == t.objects.end()) return fail(ERROR_INVALID_HANDLE);
    object = std::move(it->second);
    t.objects.erase(it);
  }
  // A service handle is gone from the manager when the call returns (a service marked for deletion
  // may go with it); the connection closes with the object's last reference. A manager that went
  // away has nothing left to close.
  if (!object->is_manager) {
    std::lock_guard lock(object->calls);
    Message ignored;
    sim::machine::call(object->link.get(), {"close"}, ignored);
  }
  return TRUE;
}

}  // namespace os
