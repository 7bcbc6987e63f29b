// vostusb-sim's kernel commands: up, shutdown, services, driver.
#include <gtest/gtest.h>

#include <string>

#include "machine_fixture.h"
#include "platform/sim/machine_link.h"
#include "text/utf.h"

namespace sim_tests {
namespace {

using KernelCli = MachineTest;

TEST_F(KernelCli, UpStartsTheKernelAndShutdownEndsIt) {
  EXPECT_FALSE(os::sim::machine::daemon_running());
  ASSERT_EQ(run("vostusb-sim", {"up"}).status, 0);
  const pid_t kernel = kernel_pid();
  ASSERT_NE(kernel, 0);
  EXPECT_EQ(run("vostusb-sim", {"up"}).status, 0);
  EXPECT_EQ(kernel_pid(), kernel);  // one kernel per machine
  ASSERT_EQ(run("vostusb-sim", {"shutdown"}).status, 0);
  EXPECT_FALSE(os::sim::machine::daemon_running());
  EXPECT_FALSE(process_alive(kernel));
  EXPECT_EQ(run("vostusb-sim", {"shutdown"}).status, 0);  // nothing to end
  EXPECT_EQ(run("vostusb-sim", {"up", "now"}).status, 2);
}

TEST_F(KernelCli, ServicesAndDriverShowTheMachine) {
  EXPECT_EQ(run("vostusb-sim", {"driver"}).out, "driver: not loaded\n");
  auto service = start_vostusb();
  auto program = create(u"Helper", SERVICE_WIN32_OWN_PROCESS, u"C:\\helper.exe", SERVICE_AUTO_START);
  const std::string image = text::to_utf8(vostusb_image());
  const auto services = run("vostusb-sim", {"services"});
  EXPECT_EQ(services.status, 0);
  EXPECT_NE(services.out.find("VostUsb                  kernel   demand    running        " + image + "\n"),
            std::string::npos)
      << services.out;
  EXPECT_NE(services.out.find("Helper                   own      auto      stopped        C:\\helper.exe\n"),
            std::string::npos)
      << services.out;
  const auto driver = run("vostusb-sim", {"driver"});
  EXPECT_EQ(driver.out.rfind("driver: VostUsb, service VostUsb\nopen handles: 0\nuser test: off\n", 0), 0u) << driver.out;
}

TEST_F(KernelCli, ResetAndBootEndTheKernel) {
  auto service = start_vostusb();
  const pid_t kernel = kernel_pid();
  ASSERT_NE(kernel, 0);
  ASSERT_EQ(run("vostusb-sim", {"boot"}).status, 0);
  EXPECT_FALSE(process_alive(kernel));
  // The next call starts a new kernel, in which the driver is not loaded.
  auto again = open(u"VostUsb", SERVICE_QUERY_STATUS);
  ASSERT_TRUE(again);
  EXPECT_EQ(status(again.get()).dwCurrentState, SERVICE_STOPPED);
}

}  // namespace
}  // namespace sim_tests
