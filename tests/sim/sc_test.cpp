// The sc.exe stand-in against the machine's service manager: outputs and exit statuses (the Win32
// error; Linux keeps its low eight bits).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "machine_fixture.h"
#include "text/utf.h"

namespace sim_tests {
namespace {

using ScTool = MachineTest;

int exit_status_of(DWORD code) { return static_cast<int>(code & 0xFF); }

std::string failure(const std::string& what, DWORD code, const std::string& text) {
  return "[SC] " + what + " FAILED " + std::to_string(code) + ":\n\n" + text + "\n\n";
}

TEST_F(ScTool, ManagesAServiceFromCreationToDeletion) {
  const std::string image = text::to_utf8(vostusb_image());
  const std::string running_block =
      "\nSERVICE_NAME: VostUsb\n"
      "        TYPE               : 1  KERNEL_DRIVER\n"
      "        STATE              : 4  RUNNING\n"
      "                                (STOPPABLE, NOT_PAUSABLE, IGNORES_SHUTDOWN)\n"
      "        WIN32_EXIT_CODE    : 0  (0x0)\n"
      "        SERVICE_EXIT_CODE  : 0  (0x0)\n"
      "        CHECKPOINT         : 0x0\n"
      "        WAIT_HINT          : 0x0\n";
  const std::string stopped_block =
      "\nSERVICE_NAME: VostUsb\n"
      "        TYPE               : 1  KERNEL_DRIVER\n"
      "        STATE              : 1  STOPPED\n"
      "        WIN32_EXIT_CODE    : 0  (0x0)\n"
      "        SERVICE_EXIT_CODE  : 0  (0x0)\n"
      "        CHECKPOINT         : 0x0\n"
      "        WAIT_HINT          : 0x0\n";
  struct Step {
    std::vector<std::string> args;
    DWORD code;
    std::string out;
  };
  const Step steps[] = {
      {{"create", "VostUsb", "binPath=", image, "type=", "kernel", "start=", "demand", "DisplayName=", "Vost USB"},
       0, "[SC] CreateService SUCCESS\n"},
      {{"create", "vostusb", "binpath=", image}, ERROR_SERVICE_EXISTS,
       failure("CreateService", ERROR_SERVICE_EXISTS, "The specified service already exists.")},
      {{"create", "Other", "binpath=", image, "displayname=", "VostUsb"}, ERROR_DUPLICATE_SERVICE_NAME,
       failure("CreateService", ERROR_DUPLICATE_SERVICE_NAME,
               "The name is already in use as either a service name or a service display name.")},
      {{"stop", "VostUsb"}, ERROR_SERVICE_NOT_ACTIVE,
       failure("ControlService", ERROR_SERVICE_NOT_ACTIVE, "The service has not been started.")},
      {{"start", "VostUsb"}, 0, running_block + "        PID                : 0\n        FLAGS              : \n"},
      {{"start", "VostUsb"}, ERROR_SERVICE_ALREADY_RUNNING,
       failure("StartService", ERROR_SERVICE_ALREADY_RUNNING, "An instance of the service is already running.")},
      {{"query", "VostUsb"}, 0, running_block},
      {{"stop", "VostUsb"}, 0, stopped_block},
      {{"delete", "VostUsb"}, 0, "[SC] DeleteService SUCCESS\n"},
      {{"query", "VostUsb"}, ERROR_SERVICE_DOES_NOT_EXIST,
       failure("EnumQueryServicesStatus:OpenService", ERROR_SERVICE_DOES_NOT_EXIST,
               "The specified service does not exist as an installed service.")},
      {{"start", "VostUsb"}, ERROR_SERVICE_DOES_NOT_EXIST,
       failure("StartService: OpenService", ERROR_SERVICE_DOES_NOT_EXIST,
               "The specified service does not exist as an installed service.")},
  };
  for (const Step& step : steps) {
    const auto result = run("sc.exe", step.args);
    EXPECT_EQ(result.status, exit_status_of(step.code)) << step.args[0] << " " << step.args[1];
    EXPECT_EQ(result.out, step.out) << step.args[0] << " " << step.args[1];
  }
}

TEST_F(ScTool, CreatesWhatTheServiceManagerSees) {
  const auto result = run("sc.exe", {"create", "Prog", "binpath=", "C:\\prog.exe /run", "start=", "auto"});
  ASSERT_EQ(result.status, 0) << result.out;
  auto service = open(u"Prog", SERVICE_QUERY_STATUS);
  ASSERT_TRUE(service);
  EXPECT_EQ(status(service.get()).dwServiceType, SERVICE_WIN32_OWN_PROCESS);
  const auto started = run("sc.exe", {"start", "Prog"});
  EXPECT_EQ(started.status, exit_status_of(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(started.out, failure("StartService", ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."));
}

TEST_F(ScTool, RefusesCommandLinesItDoesNotKnow) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"create", "X"},                              // no binary path
           {"create", "X", "binpath=", "a", "type="},    // an option without its value
           {"create", "X", "binpath=", "a", "type=", "kernelish"},
           {"create", "X", "binpath", "a"},              // an option without "="
           {"frobnicate", "X"},
           {"query"}}) {
    const auto result = run("sc.exe", args);
    EXPECT_EQ(result.status, 1639 & 0xFF) << args[0];
    EXPECT_EQ(result.out.rfind("DESCRIPTION:", 0), 0u) << result.out;
  }
  EXPECT_FALSE(open(u"X"));
}

}  // namespace
}  // namespace sim_tests
