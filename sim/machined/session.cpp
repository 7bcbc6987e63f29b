// One connection to the daemon: its first request says what it is (see machine_link.h), and the
// connection lives as long as the handle it stands for.
#include <cstdlib>

#include "library/driver_interface.h"
#include "machine.h"
#include "plugging.h"
#include "platform/sim/machine_link.h"
#include "text/utf.h"

namespace machined {

namespace {

using os::sim::machine::Message;
using os::sim::machine::number;
using os::sim::machine::to_number;
using Lock = std::unique_lock<std::mutex>;

DWORD field_number(const Message& m, std::size_t i) {
  return i < m.size() ? static_cast<DWORD>(to_number(m[i], 0xFFFFFFFFu)) : 0xFFFFFFFFu;
}

std::u16string field_text(const Message& m, std::size_t i) {
  return i < m.size() ? text::from_utf8(m[i]) : std::u16string();
}

void reply(int fd, Message message) { os::sim::machine::send_message(fd, message); }

void reply_code(int fd, DWORD code) { reply(fd, {number(code)}); }

void wait_for_close(int fd) {
  Message ignored;
  while (os::sim::machine::receive_message(fd, ignored)) {
  }
}

Message status_reply(DWORD code, const ServiceStatus& s, bool with_process) {
  Message m{number(code),         number(s.type),       number(s.state),      number(s.controls_accepted),
            number(s.exit_code),  number(s.service_exit_code), number(s.checkpoint), number(s.wait_hint)};
  if (with_process) {
    m.push_back(number(s.pid));
    m.push_back(number(s.flags));
  }
  return m;
}

// The right a control needs.
DWORD control_right(DWORD code) {
  switch (code) {
    case SERVICE_CONTROL_STOP:
      return SERVICE_STOP;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
      return SERVICE_PAUSE_CONTINUE;
    case SERVICE_CONTROL_INTERROGATE:
      return SERVICE_INTERROGATE;
    default:
      return SERVICE_USER_DEFINED_CONTROL;
  }
}

// The requests on a service handle, until it closes. CloseServiceHandle asks "close" and has its
// answer once the handle is gone (a deleted service with it), as Windows' call returns; a process
// that ends closes its connections without asking.
void serve_service(Machine& machine, int fd, const std::u16string& key, DWORD granted) {
  Message request;
  while (os::sim::machine::receive_message(fd, request) && !request.empty()) {
    const std::string& what = request[0];
    Lock lock(machine.mutex);
    if (what == "close") {
      machine.services.close(key);
      lock.unlock();
      return reply_code(fd, ERROR_SUCCESS);
    }
    if (what == "start") {
      const DWORD code = (granted & SERVICE_START) ? machine.services.start(key, lock) : ERROR_ACCESS_DENIED;
      lock.unlock();
      reply_code(fd, code);
    } else if (what == "control") {
      const DWORD control = field_number(request, 1);
      ServiceStatus status;
      const DWORD code = (granted & control_right(control)) ? machine.services.control(key, control, status)
                                                             : ERROR_ACCESS_DENIED;
      lock.unlock();
      reply(fd, status_reply(code, status, false));
    } else if (what == "query") {
      ServiceStatus status;
      const DWORD code = (granted & SERVICE_QUERY_STATUS) ? machine.services.query(key, status) : ERROR_ACCESS_DENIED;
      lock.unlock();
      reply(fd, status_reply(code, status, true));
    } else if (what == "delete") {
      const DWORD code = (granted & DELETE) ? machine.services.remove(key) : ERROR_ACCESS_DENIED;
      lock.unlock();
      reply_code(fd, code);
    } else {
      lock.unlock();
      reply_code(fd, ERROR_INVALID_FUNCTION);
    }
  }
  Lock lock(machine.mutex);
  machine.services.close(key);
}

void serve_open(Machine& machine, int fd, uid_t caller, const Message& first) {
  std::u16string key;
  DWORD granted = 0;
  DWORD code;
  {
    Lock lock(machine.mutex);
    if (first[0] == "create") {
      CreateRequest request{field_text(first, 2), field_text(first, 3), field_number(first, 5),
                            field_number(first, 6), field_number(first, 7), field_text(first, 8),
                            field_text(first, 9)};
      code = (field_number(first, 1) & SC_MANAGER_CREATE_SERVICE) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
      if (code == ERROR_SUCCESS) code = ServiceManager::service_access(caller, field_number(first, 4), granted);
      if (code == ERROR_SUCCESS) code = machine.services.create(request, key);
    } else {
      code = machine.services.open(field_text(first, 2), key);
      if (code == ERROR_SUCCESS) {
        code = ServiceManager::service_access(caller, field_number(first, 3), granted);
        if (code != ERROR_SUCCESS) machine.services.close(key);
      }
    }
  }
  reply(fd, {number(code), number(granted)});
  if (code == ERROR_SUCCESS) serve_service(machine, fd, key, granted);
}

void serve_device(Machine& machine, int fd, uid_t caller) {
  std::uint64_t token = 0;
  {
    Lock lock(machine.mutex);
    if (caller != 0) {
      lock.unlock();
      return reply_code(fd, ERROR_ACCESS_DENIED);
    }
    if (!machine.driver.loaded()) {
      lock.unlock();
      return reply_code(fd, ERROR_FILE_NOT_FOUND);
    }
    token = machine.driver.open_handle();
  }
  reply(fd, {number(ERROR_SUCCESS), number(token)});
  // Requests until CloseHandle asks "close" (answered once the driver has seen the clean-up) or
  // the process goes.
  Message request;
  bool asked_to_close = false;
  while (os::sim::machine::receive_message(fd, request)) {
    if (request.size() == 1 && request[0] == "close") {
      asked_to_close = true;
      break;
    }
    if (request.size() != 4 || request[0] != "ioctl") break;
    std::string out;
    DWORD code;
    {
      Lock lock(machine.mutex);
      code = machine.driver.has_handle(token)
                 ? machine.driver.control(token, field_number(request, 1), request[2], field_number(request, 3), out)
                 : ERROR_DEVICE_NOT_CONNECTED;
    }
    reply(fd, {number(code), out});
  }
  {
    Lock lock(machine.mutex);
    machine.driver.close_handle(token);
    machine.services.device_closed();
  }
  if (asked_to_close) reply_code(fd, ERROR_SUCCESS);
}

void serve_signals(Machine& machine, int fd, const Message& first) {
  const std::uint64_t token = to_number(first.size() > 1 ? first[1] : std::string());
  {
    Lock lock(machine.mutex);
    if (!machine.driver.has_handle(token)) {
      lock.unlock();
      return reply_code(fd, ERROR_INVALID_HANDLE);
    }
    reply_code(fd, ERROR_SUCCESS);
    machine.driver.attach_signals(token, fd);
  }
  wait_for_close(fd);
  Lock lock(machine.mutex);
  machine.driver.attach_signals(token, -1);
}

void serve_offer(Machine& machine, int fd, const Message& first) {
  DeviceOffer offer;
  offer.text = field_text(first, 1);
  offer.is_hub = first.size() > 2 && first[2] == "hub";
  Verdict verdict;
  {
    Lock lock(machine.mutex);
    verdict = machine.driver.admit(offer, lock).verdict;
  }
  reply(fd, {number(ERROR_SUCCESS), verdict == Verdict::Accepted ? "accepted" : "refused"});
}

void serve_services(Machine& machine, int fd) {
  Message m{number(ERROR_SUCCESS)};
  Lock lock(machine.mutex);
  for (const ServiceRow& row : machine.services.rows()) {
    m.insert(m.end(), {text::to_utf8(row.name), number(row.type), number(row.start), number(row.state),
                       text::to_utf8(row.image)});
  }
  lock.unlock();
  reply(fd, m);
}

}  // namespace

void serve(Machine& machine, int fd, uid_t caller) {
  Message first;
  if (!os::sim::machine::receive_message(fd, first) || first.empty()) return;
  const std::string& role = first[0];
  if (role == "manager") {
    DWORD granted = 0;
    const DWORD code = ServiceManager::manager_access(caller, field_number(first, 1), granted);
    reply(fd, {number(code), number(granted)});
    if (code == ERROR_SUCCESS) wait_for_close(fd);
  } else if ((role == "open" && first.size() == 4) || (role == "create" && first.size() == 10)) {
    serve_open(machine, fd, caller, first);
  } else if (role == "device") {
    serve_device(machine, fd, caller);
  } else if (role == "signals") {
    serve_signals(machine, fd, first);
  } else if (role == "offer") {
    serve_offer(machine, fd, first);
  } else if (role == "plug") {
    serve_plug(machine, fd, first);
  } else if (role == "unplugged") {
    serve_unplugged(machine, fd, first);
  } else if (role == "services") {
    serve_services(machine, fd);
  } else if (role == "driver") {
    Message m{number(ERROR_SUCCESS)};
    Lock lock(machine.mutex);
    for (std::string& line : machine.driver.describe()) m.push_back(std::move(line));
    lock.unlock();
    reply(fd, m);
  } else if (role == "shutdown") {
    Lock lock(machine.mutex);
    machine.services.end_programs();
    reply_code(fd, ERROR_SUCCESS);
    std::_Exit(0);  // every connection closes with the process; callers see the machine gone
  } else {
    reply_code(fd, ERROR_INVALID_FUNCTION);
  }
}

}  // namespace machined
