// The simulated service control manager through the platform layer: Windows' results and codes,
// services kept in the registry, kernel-driver images, callers without administrator rights, a
// kernel that dies during a call.
#include <gtest/gtest.h>

#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "library/driver_interface.h"
#include "machine_fixture.h"
#include "platform/sim/machine_link.h"
#include "text/chars.h"
#include "text/utf.h"

namespace sim_tests {
namespace {

std::u16string services_key(const std::u16string& name) { return u"SYSTEM\\CurrentControlSet\\Services\\" + name; }

bool key_exists(const std::u16string& subkey) {
  os::unique_hkey key;
  return os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

DWORD dword_value(const std::u16string& subkey, const char16_t* name) {
  os::unique_hkey key;
  DWORD value = 0xDEAD, type = 0, size = sizeof value;
  if (os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS ||
      os::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      type != REG_DWORD) {
    return 0xDEAD;
  }
  return value;
}

// A text value with its type, "<missing>" when it cannot be read.
std::u16string text_value(const std::u16string& subkey, const char16_t* name, DWORD& type) {
  os::unique_hkey key;
  char16_t data[512] = {};
  DWORD size = sizeof data;
  if (os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS ||
      os::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS) {
    return u"<missing>";
  }
  return std::u16string(data, size / 2 - 1);  // stored with its terminator
}

using ServiceManager = MachineTest;

TEST_F(ServiceManager, KeepsAServiceInTheRegistryAsWindowsDoes) {
  const auto scm = manager();
  const std::u16string image = vostusb_image();
  os::unique_schandle service(os::CreateServiceW(scm.get(), u"VostUsb", u"Vost USB filter", SERVICE_ALL_ACCESS,
                                                 SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                                 image.c_str(), u"Base", nullptr, nullptr, nullptr, nullptr));
  ASSERT_TRUE(service) << os::GetLastError();
  const std::u16string key = services_key(u"VostUsb");
  EXPECT_EQ(dword_value(key, u"Type"), SERVICE_KERNEL_DRIVER);
  EXPECT_EQ(dword_value(key, u"Start"), SERVICE_DEMAND_START);
  EXPECT_EQ(dword_value(key, u"ErrorControl"), SERVICE_ERROR_NORMAL);
  DWORD type = 0;
  EXPECT_EQ(text_value(key, u"ImagePath", type), image);
  EXPECT_EQ(type, REG_EXPAND_SZ);
  EXPECT_EQ(text_value(key, u"DisplayName", type), u"Vost USB filter");
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(text_value(key, u"Group", type), u"Base");

  // A new, never started service; found again by any spelling of its name.
  const auto s = status(service.get());
  EXPECT_EQ(s.dwServiceType, SERVICE_KERNEL_DRIVER);
  EXPECT_EQ(s.dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(s.dwWin32ExitCode, ERROR_SERVICE_NEVER_STARTED);
  EXPECT_TRUE(open(u"VOSTUSB", SERVICE_QUERY_STATUS));
}

// Each case runs its steps on its own service and gives the last error of its final call.
struct Sequence {
  const char* what;
  std::function<DWORD(const std::u16string& name, const std::u16string& image)> run;
  DWORD expected;
};

DWORD create_error(const std::u16string& name, const std::u16string& display, const std::u16string& image,
                   DWORD type = SERVICE_KERNEL_DRIVER, DWORD start = SERVICE_DEMAND_START) {
  os::unique_schandle scm(os::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  os::unique_schandle service(os::CreateServiceW(scm.get(), name.c_str(), display.empty() ? nullptr : display.c_str(),
                                                 SERVICE_ALL_ACCESS, type, start, SERVICE_ERROR_NORMAL, image.c_str(),
                                                 nullptr, nullptr, nullptr, nullptr, nullptr));
  return service ? ERROR_SUCCESS : os::GetLastError();
}

DWORD call_error(BOOL ok) { return ok ? ERROR_SUCCESS : os::GetLastError(); }

TEST_F(ServiceManager, SequencesGiveWindowsErrorCodes) {
  const Sequence cases[] = {
      {"create twice",
       [](auto& n, auto& i) {
         auto first = create(n, SERVICE_KERNEL_DRIVER, i);
         return create_error(n, u"", i);
       },
       ERROR_SERVICE_EXISTS},
      {"create again in other letter case",
       [](auto& n, auto& i) {
         auto first = create(n, SERVICE_KERNEL_DRIVER, i);
         return create_error(text::lower_az(n) + u"", u"", i);
       },
       ERROR_SERVICE_EXISTS},
      {"open a missing service", [](auto& n, auto&) { return open(n) ? ERROR_SUCCESS : os::GetLastError(); },
       ERROR_SERVICE_DOES_NOT_EXIST},
      {"start a running driver",
       [](auto& n, auto& i) {
         auto s = create(n, SERVICE_KERNEL_DRIVER, i);
         EXPECT_TRUE(os::StartServiceW(s.get(), 0, nullptr));
         const DWORD error = call_error(os::StartServiceW(s.get(), 0, nullptr));
         SERVICE_STATUS st{};
         EXPECT_TRUE(os::ControlService(s.get(), SERVICE_CONTROL_STOP, &st));
         return error;
       },
       ERROR_SERVICE_ALREADY_RUNNING},
      {"stop a stopped service",
       [](auto& n, auto& i) {
         auto s = create(n, SERVICE_KERNEL_DRIVER, i);
         SERVICE_STATUS st{};
         return call_error(os::ControlService(s.get(), SERVICE_CONTROL_STOP, &st));
       },
       ERROR_SERVICE_NOT_ACTIVE},
      {"pause a running driver",
       [](auto& n, auto& i) {
         auto s = create(n, SERVICE_KERNEL_DRIVER, i);
         EXPECT_TRUE(os::StartServiceW(s.get(), 0, nullptr));
         SERVICE_STATUS st{};
         const DWORD error = call_error(os::ControlService(s.get(), SERVICE_CONTROL_PAUSE, &st));
         EXPECT_EQ(st.dwCurrentState, SERVICE_RUNNING);
         EXPECT_TRUE(os::ControlService(s.get(), SERVICE_CONTROL_STOP, &st));
         return error;
       },
       ERROR_INVALID_SERVICE_CONTROL},
      {"delete twice",
       [](auto& n, auto& i) {
         auto s = create(n, SERVICE_KERNEL_DRIVER, i);
         EXPECT_TRUE(os::DeleteService(s.get()));
         return call_error(os::DeleteService(s.get()));
       },
       ERROR_SERVICE_MARKED_FOR_DELETE},
      {"create while marked for deletion",
       [](auto& n, auto& i) {
         auto s = create(n, SERVICE_KERNEL_DRIVER, i);
         EXPECT_TRUE(os::DeleteService(s.get()));
         return create_error(n, u"", i);
       },
       ERROR_SERVICE_MARKED_FOR_DELETE},
      {"start while marked for deletion",
       [](auto& n, auto& i) {
         auto s = create(n, SERVICE_KERNEL_DRIVER, i);
         EXPECT_TRUE(os::DeleteService(s.get()));
         return call_error(os::StartServiceW(s.get(), 0, nullptr));
       },
       ERROR_SERVICE_MARKED_FOR_DELETE},
      {"display name taken by a service name",
       [](auto& n, auto& i) {
         auto s = create(n, SERVICE_KERNEL_DRIVER, i);
         return create_error(n + u"2", n, i);
       },
       ERROR_DUPLICATE_SERVICE_NAME},
      {"start a disabled service",
       [](auto& n, auto& i) {
         auto s = create(n, SERVICE_KERNEL_DRIVER, i, SERVICE_DISABLED);
         return call_error(os::StartServiceW(s.get(), 0, nullptr));
       },
       ERROR_SERVICE_DISABLED},
      {"boot start for a program", [](auto& n, auto& i) { return create_error(n, u"", i, SERVICE_WIN32_OWN_PROCESS, SERVICE_BOOT_START); },
       ERROR_INVALID_PARAMETER},
      {"unknown service type", [](auto& n, auto& i) { return create_error(n, u"", i, 0x40); }, ERROR_INVALID_PARAMETER},
  };
  int index = 0;
  for (const Sequence& c : cases) {
    const std::u16string name = u"Case" + text::from_utf8(std::to_string(index++));
    EXPECT_EQ(c.run(name, vostusb_image()), c.expected) << c.what;
    // The cases share one machine: none may leave the driver loaded for the next.
    EXPECT_FALSE(os::unique_hfile(os::CreateFileW(u"\\\\.\\VostUsb", 0x1F01FF, 0, nullptr, OPEN_EXISTING, 0, nullptr)))
        << c.what << " leaves the driver loaded";
  }
}

TEST_F(ServiceManager, RefusesInvalidNames) {
  const std::u16string too_long(257, u'n');
  for (const std::u16string& name : {std::u16string(), std::u16string(u"a\\b"), std::u16string(u"a/b"), too_long}) {
    EXPECT_EQ(create_error(name, u"", vostusb_image()), ERROR_INVALID_NAME) << text::to_utf8(name);
    EXPECT_FALSE(open(name));
    EXPECT_EQ(os::GetLastError(), ERROR_INVALID_NAME) << text::to_utf8(name);
  }
  EXPECT_EQ(create_error(std::u16string(256, u'n'), u"", vostusb_image()), ERROR_SUCCESS);
}

TEST_F(ServiceManager, DeletedServiceGoesWithItsLastHandleOnceStopped) {
  auto first = start_vostusb(u"Doomed");
  auto second = open(u"Doomed");
  ASSERT_TRUE(second);
  ASSERT_TRUE(os::DeleteService(first.get()));
  first.reset();
  second.reset();
  // Still running: the key stays, marked.
  EXPECT_EQ(dword_value(services_key(u"Doomed"), u"DeleteFlag"), 1u);
  auto last = open(u"Doomed", SERVICE_STOP);
  ASSERT_TRUE(last);
  SERVICE_STATUS st{};
  ASSERT_TRUE(os::ControlService(last.get(), SERVICE_CONTROL_STOP, &st));
  EXPECT_EQ(st.dwCurrentState, SERVICE_STOPPED);
  EXPECT_TRUE(key_exists(services_key(u"Doomed")));  // this handle is still open
  last.reset();
  EXPECT_FALSE(key_exists(services_key(u"Doomed")));
  EXPECT_FALSE(open(u"Doomed"));
  EXPECT_EQ(os::GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(create_error(u"Doomed", u"", vostusb_image()), ERROR_SUCCESS);
}

TEST_F(ServiceManager, HandlesAndBuffersAreChecked) {
  auto scm = manager();
  auto service = create(u"Checked", SERVICE_KERNEL_DRIVER, vostusb_image());
  SERVICE_STATUS_PROCESS s{};
  DWORD needed = 0;
  EXPECT_FALSE(os::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&s), sizeof s - 1, &needed));
  EXPECT_EQ(os::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(needed, sizeof s);
  EXPECT_FALSE(os::QueryServiceStatusEx(service.get(), static_cast<SC_STATUS_TYPE>(1), reinterpret_cast<BYTE*>(&s), sizeof s, &needed));
  EXPECT_EQ(os::GetLastError(), ERROR_INVALID_LEVEL);
  // A manager handle is not a service handle; a closed handle is no handle.
  EXPECT_FALSE(os::StartServiceW(scm.get(), 0, nullptr));
  EXPECT_EQ(os::GetLastError(), ERROR_INVALID_HANDLE);
  const SC_HANDLE closed = service.get();
  service.reset();
  EXPECT_FALSE(os::DeleteService(closed));
  EXPECT_EQ(os::GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(os::CloseServiceHandle(closed));
  EXPECT_EQ(os::GetLastError(), ERROR_INVALID_HANDLE);
  // A handle without the right refuses the call.
  auto query_only = open(u"Checked", SERVICE_QUERY_STATUS);
  EXPECT_FALSE(os::StartServiceW(query_only.get(), 0, nullptr));
  EXPECT_EQ(os::GetLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(ServiceManager, StartsOnlyKnownDriverImages) {
  struct Case {
    const char* what;
    std::u16string image;
    DWORD expected;
  };
  const Case cases[] = {
      {"missing file", win_path("absent.sys"), ERROR_FILE_NOT_FOUND},
      {"missing folder", win_path("nowhere\\absent.sys"), ERROR_PATH_NOT_FOUND},
      {"not an image", scratch_file("text.sys", "just text\n"), ERROR_BAD_EXE_FORMAT},
      {"another driver", scratch_file("other.sys", "vostusb-sim kernel driver image\ndriver: Other\n"), ERROR_BAD_EXE_FORMAT},
      {"the VostUsb image", scratch_file("copy.sys", "vostusb-sim kernel driver image\ndriver: VostUsb\n"), ERROR_SUCCESS},
      {"the Windows 10 build's image", bin_path("vostusb10.sys"), ERROR_ALREADY_EXISTS},  // one device per driver
  };
  int index = 0;
  for (const Case& c : cases) {
    auto service = create(u"Image" + text::from_utf8(std::to_string(index++)), SERVICE_KERNEL_DRIVER, c.image);
    EXPECT_EQ(call_error(os::StartServiceW(service.get(), 0, nullptr)), c.expected) << c.what;
    EXPECT_EQ(status(service.get()).dwCurrentState, c.expected == ERROR_SUCCESS ? SERVICE_RUNNING : SERVICE_STOPPED) << c.what;
  }
}

TEST_F(ServiceManager, DriverStopIsPendingWhileItsDeviceIsOpen) {
  auto service = start_vostusb();
  os::unique_hfile device(os::CreateFileW(u"\\\\.\\VostUsb", 0x1F01FF, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(device) << os::GetLastError();
  SERVICE_STATUS st{};
  ASSERT_TRUE(os::ControlService(service.get(), SERVICE_CONTROL_STOP, &st));
  EXPECT_EQ(st.dwCurrentState, SERVICE_STOP_PENDING);
  EXPECT_EQ(status(service.get()).dwCurrentState, SERVICE_STOP_PENDING);
  EXPECT_FALSE(os::ControlService(service.get(), SERVICE_CONTROL_STOP, &st));
  EXPECT_EQ(os::GetLastError(), ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
  device.reset();
  EXPECT_EQ(status(service.get()).dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(status(service.get()).dwWin32ExitCode, 0u);
  EXPECT_FALSE(os::unique_hfile(os::CreateFileW(u"\\\\.\\VostUsb", 0x1F01FF, 0, nullptr, OPEN_EXISTING, 0, nullptr)));
  EXPECT_EQ(os::GetLastError(), ERROR_FILE_NOT_FOUND);
}

// Runs `checks` in a child process that has become the unprivileged user "nobody"; the child's
// exit status is the number of the first check that failed (0: all passed).
int as_nobody(const std::function<int()>& checks) {
  const passwd* nobody = ::getpwnam("nobody");
  if (!nobody) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0) ::_exit(100);
    ::_exit(checks());
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

TEST_F(ServiceManager, StandardUserMayOnlyLook) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
  auto service = start_vostusb();
  const int failed = as_nobody([] {
    if (os::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS) || os::GetLastError() != ERROR_ACCESS_DENIED) return 1;
    os::unique_schandle scm(os::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!scm) return 2;
    if (os::OpenServiceW(scm.get(), u"VostUsb", SERVICE_ALL_ACCESS) || os::GetLastError() != ERROR_ACCESS_DENIED) return 3;
    os::unique_schandle look(os::OpenServiceW(scm.get(), u"VostUsb", SERVICE_QUERY_STATUS));
    SERVICE_STATUS_PROCESS s{};
    DWORD needed = 0;
    if (!look || !os::QueryServiceStatusEx(look.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&s), sizeof s, &needed) ||
        s.dwCurrentState != SERVICE_RUNNING) {
      return 4;
    }
    if (os::CreateFileW(u"\\\\.\\VostUsb", 0x1F01FF, 0, nullptr, OPEN_EXISTING, 0, nullptr) != INVALID_HANDLE_VALUE ||
        os::GetLastError() != ERROR_ACCESS_DENIED) {
      return 5;
    }
    return 0;
  });
  EXPECT_EQ(failed, 0);
}

TEST_F(ServiceManager, CallFailsWhenTheKernelIsKilled) {
  auto scm = manager();
  auto service = create(u"Waiting", SERVICE_WIN32_OWN_PROCESS,
                        u"\"" + bin_path("service_program") + u"\" " + win_path("pid"));
  ASSERT_TRUE(service);
  os::unique_hkey control;
  ASSERT_EQ(os::RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control", 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, control.put(), nullptr), ERROR_SUCCESS);
  const DWORD long_wait = 60000;
  ASSERT_EQ(os::RegSetValueExW(control.get(), u"ServicesPipeTimeout", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&long_wait), 4),
            ERROR_SUCCESS);
  auto starting = std::async(std::launch::async, [&] {
    const BOOL ok = os::StartServiceW(service.get(), 0, nullptr);
    return ok ? ERROR_SUCCESS : os::GetLastError();
  });
  const pid_t program = read_pid_file(native_dir() + "/pid");
  end_at_teardown(program);
  const pid_t kernel = kernel_pid();
  ASSERT_NE(kernel, 0);
  ASSERT_EQ(::kill(kernel, SIGKILL), 0);  // before any check: the start must not wait its minute out
  ASSERT_NE(program, 0) << "the service's program never ran";
  ASSERT_EQ(starting.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "the call hangs";
  EXPECT_EQ(starting.get(), RPC_S_SERVER_UNAVAILABLE);
  // SIGKILL only starts the end: until the last of the kernel's threads has gone (which may be
  // after its main thread shows as a zombie) its socket still takes connections that then fail.
  // Wait for the socket to go, as a caller would wait for a restarted machine.
  for (int i = 0; i < 500 && os::sim::machine::daemon_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_FALSE(os::sim::machine::daemon_running());
  // Handles of the dead kernel fail; a new connection starts a new kernel, with every run state
  // begun again.
  EXPECT_FALSE(os::DeleteService(service.get()));
  EXPECT_EQ(os::GetLastError(), RPC_S_SERVER_UNAVAILABLE);
  auto again = open(u"Waiting");
  ASSERT_TRUE(again) << os::GetLastError();
  EXPECT_EQ(status(again.get()).dwCurrentState, SERVICE_STOPPED);
}

}  // namespace
}  // namespace sim_tests
