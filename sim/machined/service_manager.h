// The simulated machine's service control manager: the services' run states (the configuration
// lives in the registry, see service_store.h), the rights of callers, and starting and stopping
// kernel drivers and own-process programs. Every member is called with the machine's lock held;
// a start of an own-process service waits on it until the program reports or the time-out passes.
//
// The machine's administrator (and its system account) is Linux root. Other users may connect to
// the manager and query services, nothing more (ERROR_ACCESS_DENIED), as a standard user on Windows.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/os.h"
#include "vostusb_driver.h"

namespace machined {

struct ServiceStatus {
  DWORD type = 0;
  DWORD state = SERVICE_STOPPED;
  DWORD controls_accepted = 0;
  DWORD exit_code = 0;
  DWORD service_exit_code = 0;
  DWORD checkpoint = 0;
  DWORD wait_hint = 0;
  DWORD pid = 0;
  DWORD flags = 0;
};

// One line of `vostusb-sim services`.
struct ServiceRow {
  std::u16string name;
  DWORD type = 0;
  DWORD start = 0;
  DWORD state = SERVICE_STOPPED;
  std::u16string image;
};

struct CreateRequest {
  std::u16string name;
  std::u16string display_name;
  DWORD type = 0;
  DWORD start = 0;
  DWORD error_control = 0;
  std::u16string binary_path;
  std::u16string group;
};

class ServiceManager {
 public:
  using Lock = std::unique_lock<std::mutex>;
  ServiceManager(std::condition_variable& changed, VostUsbDriver& driver);

  // The access a caller gets: ERROR_SUCCESS with `granted`, or ERROR_ACCESS_DENIED.
  static DWORD manager_access(uid_t caller, DWORD wanted, DWORD& granted);
  static DWORD service_access(uid_t caller, DWORD wanted, DWORD& granted);

  // Opening and creating a service count a handle to it (`key` names it from then on).
  DWORD create(const CreateRequest& request, std::u16string& key);
  DWORD open(std::u16string_view name, std::u16string& key);
  void close(const std::u16string& key);

  DWORD start(const std::u16string& key, Lock& lock);
  DWORD control(const std::u16string& key, DWORD code, ServiceStatus& status);
  DWORD query(const std::u16string& key, ServiceStatus& status);
  DWORD remove(const std::u16string& key);

  // A device handle of the driver closed: a stop that waited for it may finish.
  void device_closed();

  std::vector<ServiceRow> rows();

  // Collects programs that ended after their start had failed (the daemon started them).
  void reap();
  // Machine shutdown: ends the programs of own-process services.
  void end_programs();

 private:
  struct Run {
    DWORD state = SERVICE_STOPPED;
    DWORD exit_code = 0;
    pid_t pid = 0;
    std::uint64_t attempt = 0;
    bool marked = false;
    int handles = 0;
  };

  Run& run(const std::u16string& key);
  DWORD start_driver(const std::u16string& key, const std::u16string& image_path);
  DWORD start_program(const std::u16string& key, const std::u16string& command_line, Lock& lock);
  void finish_stop_if_unloaded();
  void remove_if_done(const std::u16string& key);
  ServiceStatus status_of(const std::u16string& key, DWORD type);

  std::condition_variable& changed_;
  VostUsbDriver& driver_;
  std::map<std::u16string, Run> runs_;  // by lower-case name
  std::u16string driver_service_;       // the service whose image is the VostUsb driver, while loaded
  std::uint64_t next_attempt_ = 1;
  std::vector<pid_t> abandoned_;  // programs left running after their start failed
};

// How long a started program has to report to the service manager: the DWORD
// HKLM\SYSTEM\CurrentControlSet\Control\ServicesPipeTimeout in milliseconds, as on Windows; the
// simulated machine's default is 10 s.
DWORD service_start_timeout_ms();

}  // namespace machined
