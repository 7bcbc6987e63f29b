// A fresh simulated machine whose kernel the test talks to: services created through the platform
// layer, the driver images of the build, and the kernel's own process.
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/handle.h"
#include "platform/os.h"
#include "support/run_command.h"
#include "support/sim_root.h"

namespace sim_tests {

class MachineTest : public testing_support::FreshHost {
 protected:
  void TearDown() override;

  static os::unique_schandle manager(DWORD access = SC_MANAGER_ALL_ACCESS);
  // A new service of `type` with `image` as its binary path; fails the test when it cannot.
  static os::unique_schandle create(const std::u16string& name, DWORD type, const std::u16string& image,
                                    DWORD start = SERVICE_DEMAND_START);
  static os::unique_schandle open(const std::u16string& name, DWORD access = SERVICE_ALL_ACCESS);
  // The VostUsb driver image the build laid out.
  static std::u16string vostusb_image() { return bin_path("vostusb.sys"); }
  // A VostUsb kernel-driver service, started.
  static os::unique_schandle start_vostusb(const std::u16string& name = u"VostUsb");
  static SERVICE_STATUS_PROCESS status(SC_HANDLE service);
  // A file in the scratch folder with `content`; its path in the product's form.
  std::u16string scratch_file(const std::string& name, const std::string& content) const;

  // The kernel daemon's process id, or 0 when none runs.
  pid_t kernel_pid() const;
  // Offers a device to the driver through the plugging seam; blocks until its verdict.
  static std::string offer_device(const std::u16string& text, bool hub = false);

  testing_support::CommandResult run(const std::string& program, const std::vector<std::string>& args) const {
    return testing_support::run_built(program, args, native_dir());
  }

  // Processes a test started outside the machine's control, ended at tear-down.
  void end_at_teardown(pid_t pid) { leftovers_.push_back(pid); }

 private:
  std::vector<pid_t> leftovers_;
};

// Reads a process id written by a program into a file (waits up to 5 s for it).
pid_t read_pid_file(const std::string& path);
bool process_alive(pid_t pid);

}  // namespace sim_tests
