#include "machine_fixture.h"

#include <signal.h>

#include <chrono>
#include <thread>

#include "platform/sim/host.h"
#include "platform/sim/machine_link.h"
#include "platform/sim/proc_files.h"
#include "text/utf.h"

namespace sim_tests {

void MachineTest::TearDown() {
  for (pid_t pid : leftovers_) {
    if (pid > 0) ::kill(pid, SIGKILL);  // never 0 or -1: those name process groups
  }
  FreshHost::TearDown();
}

os::unique_schandle MachineTest::manager(DWORD access) {
  os::unique_schandle handle(os::OpenSCManagerW(nullptr, nullptr, access));
  EXPECT_TRUE(handle) << "OpenSCManagerW: " << os::GetLastError();
  return handle;
}

os::unique_schandle MachineTest::create(const std::u16string& name, DWORD type, const std::u16string& image, DWORD start) {
  const auto scm = manager();
  os::unique_schandle service(os::CreateServiceW(scm.get(), name.c_str(), nullptr, SERVICE_ALL_ACCESS, type, start,
                                                 SERVICE_ERROR_NORMAL, image.c_str(), nullptr, nullptr, nullptr,
                                                 nullptr, nullptr));
  EXPECT_TRUE(service) << "CreateServiceW: " << os::GetLastError();
  return service;
}

os::unique_schandle MachineTest::open(const std::u16string& name, DWORD access) {
  const auto scm = manager();
  return os::unique_schandle(os::OpenServiceW(scm.get(), name.c_str(), access));
}

os::unique_schandle MachineTest::start_vostusb(const std::u16string& name) {
  auto service = create(name, SERVICE_KERNEL_DRIVER, vostusb_image());
  EXPECT_TRUE(os::StartServiceW(service.get(), 0, nullptr)) << "StartServiceW: " << os::GetLastError();
  return service;
}

SERVICE_STATUS_PROCESS MachineTest::status(SC_HANDLE service) {
  SERVICE_STATUS_PROCESS s{};
  DWORD needed = 0;
  EXPECT_TRUE(os::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&s), sizeof s, &needed))
      << os::GetLastError();
  return s;
}

std::u16string MachineTest::scratch_file(const std::string& name, const std::string& content) const {
  testing_support::write_native_file(native_dir() + "/" + name, content);
  return win_path(name);
}

pid_t MachineTest::kernel_pid() const {
  if (!os::sim::machine::daemon_running()) return 0;
  const std::string text = testing_support::read_native_file(os::sim::sim_root() + "/machine/kernel.pid");
  return text.empty() ? 0 : static_cast<pid_t>(std::stol(text));
}

std::string MachineTest::offer_device(const std::u16string& text, bool hub) {
  os::sim::UniqueFd fd;
  if (os::sim::machine::connect(fd) != ERROR_SUCCESS) return "<no kernel>";
  os::sim::machine::Message reply;
  if (os::sim::machine::call(fd.get(), {"offer", text::to_utf8(text), hub ? "hub" : "device"}, reply) != ERROR_SUCCESS ||
      reply.size() != 2) {
    return "<kernel gone>";
  }
  return reply[1];
}

pid_t read_pid_file(const std::string& path) {
  for (int i = 0; i < 500; ++i) {
    const std::string text = testing_support::read_native_file(path);
    if (!text.empty() && text.back() == '\n') return static_cast<pid_t>(std::stol(text));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return 0;
}

bool process_alive(pid_t pid) {
  // An ended process stays a zombie until it is reaped, by its parent or (for the detached kernel)
  // by whatever reaps orphans, possibly late.
  const auto stat = os::sim::read_proc_stat(pid);
  return pid > 0 && stat && stat->state != 'Z';
}

}  // namespace sim_tests
