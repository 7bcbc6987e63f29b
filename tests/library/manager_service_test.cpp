// The facade's service operations against a real service manager: the simulated machine's on
// Linux, Wine's under the Windows build. The driver itself runs only on the simulated machine.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "library/manager.h"
#include "library_fixture.h"
#include "platform/handle.h"
#include "text/utf.h"
#ifndef _WIN32
#include "platform/sim/machine_link.h"
#endif

using namespace VostUsbWardenManager;
using library_testing::Calls;
using library_testing::LibraryHost;

namespace {

std::string Utf8(const std::u16string& s) { return text::to_utf8(s); }

const char* kDefaults =
    R"({"capture":true,"filesAndCacheMode":1,"filter":true,"hubs_always_accepted":false,"notify_handle":true})";

class ServiceHost : public LibraryHost {
 protected:
  ServiceHost(const char16_t* service, const char16_t* device) : manager_(service, service, device) {}

  void TearDown() override {
    // Nothing stays installed, also on the shared machine under Wine.
    std::u16string ignored;
    manager_.Stop(10, ignored, nullptr, nullptr);
    manager_.Uninstall(0, ignored, nullptr, nullptr);
    LibraryHost::TearDown();
  }

  std::uint32_t Install(const std::u16string& image, Calls* calls = nullptr) {
    status_.clear();
    return manager_.Install(10, image.c_str(), config_path_.c_str(), admittances_path_.c_str(), SERVICE_DEMAND_START,
                            nullptr, nullptr, nullptr, status_, true, calls, calls ? Calls::Record : nullptr);
  }
  std::uint32_t Start(Calls& calls) {
    status_.clear();
    return manager_.Start(10, status_, &calls, Calls::Record);
  }
  std::uint32_t Stop(Calls& calls) {
    status_.clear();
    return manager_.Stop(10, status_, &calls, Calls::Record);
  }
  std::uint32_t Uninstall(Calls& calls) {
    status_.clear();
    return manager_.Uninstall(50, status_, &calls, Calls::Record);
  }

  Manager manager_;
};

// A service whose image does not exist: everything but a start works on any service manager.
class ServiceWithoutImage : public ServiceHost {
 protected:
  ServiceWithoutImage() : ServiceHost(u"VostUsbLibSvc", library_testing::kNoDevice) {}
  std::u16string image() const { return win_path("missing.sys"); }
};

TEST_F(ServiceWithoutImage, InstallWritesRegistryValuesAndDefaultConfiguration) {
  Calls calls;
  ASSERT_EQ(Install(image(), &calls), 0u) << Utf8(status_);
  EXPECT_TRUE(status_.empty());
  for (std::uint32_t value : calls.values) EXPECT_NE(value, 0u) << "only failed opens are called back";
  std::u16string value;
  ASSERT_EQ(manager_.GetConfigFile(value, status_), 0u) << Utf8(status_);
  EXPECT_EQ(value, config_path_);
  ASSERT_EQ(manager_.GetAdmittancesFolder(value, status_, false), 0u);
  EXPECT_EQ(value, admittances_path_);
  EXPECT_EQ(ConfigText(), kDefaults);
}

TEST_F(ServiceWithoutImage, InstallOfAnInstalledServiceWritesNothing) {
  ASSERT_EQ(Install(image()), 0u) << Utf8(status_);
  testing_support::write_native_file(testing_support::native_path(config_path_), "");
  const std::u16string other = win_path("other.json");
  status_.clear();
  EXPECT_EQ(manager_.Install(10, image().c_str(), other.c_str(), other.c_str(), SERVICE_DEMAND_START, nullptr,
                             nullptr, nullptr, status_, false, nullptr, nullptr),
            1073u);
  EXPECT_EQ(Utf8(status_), "Serwis o tej nazwie już istnieje");
  std::u16string value;
  ASSERT_EQ(manager_.GetConfigFile(value, status_), 0u);
  EXPECT_EQ(value, config_path_) << "the registry values stay";
  EXPECT_EQ(ConfigText(), "") << "the configuration file is not written";
}

TEST_F(ServiceWithoutImage, StartFailsWithoutCallbacks) {
  ASSERT_EQ(Install(image()), 0u) << Utf8(status_);
  Calls calls;
  EXPECT_NE(Start(calls), 0u) << "a kernel driver whose image is missing does not start";
  EXPECT_FALSE(status_.empty());
  EXPECT_TRUE(calls.values.empty());
}

TEST_F(ServiceWithoutImage, StopOfAStoppedServiceIsNoError) {
  ASSERT_EQ(Install(image()), 0u) << Utf8(status_);
  Calls calls;
  EXPECT_EQ(Stop(calls), 0u);
  EXPECT_EQ(Utf8(status_), "Serwis nie jest wystartowany");
  EXPECT_EQ(manager_.ServiceLastError(), 1062u);
  EXPECT_TRUE(calls.values.empty());
}

TEST_F(ServiceWithoutImage, UninstallWaitsUntilTheServiceIsGone) {
  ASSERT_EQ(Install(image()), 0u) << Utf8(status_);
  Calls calls;
  ASSERT_EQ(Uninstall(calls), 0u) << Utf8(status_);
  for (std::uint32_t value : calls.values) EXPECT_EQ(value, 0u);

  EXPECT_EQ(Uninstall(calls), 1060u) << "gone: the next uninstall cannot open it";
  EXPECT_EQ(Utf8(status_), "Serwis nie jest zainstalowany");
  EXPECT_EQ(Start(calls), 1060u);
  EXPECT_EQ(Utf8(status_), "Serwis nie jest zainstalowany");
  EXPECT_EQ(Stop(calls), 0u) << "a missing service is no error for Stop";
  EXPECT_EQ(Utf8(status_), "Serwis nie jest zainstalowany");
}

#ifndef _WIN32
// The VostUsb driver of the simulated machine, from the image the build lays out.
class VostUsbService : public ServiceHost {
 protected:
  VostUsbService() : ServiceHost(u"VostUsb", u"\\\\.\\VostUsb") {}
  std::u16string image() const { return bin_path("vostusb.sys"); }

  // Installs and starts the driver, with another handle on its device in `other`: that handle
  // keeps the driver loaded, so a stop stays pending until it closes.
  void StartHeldOpen(os::unique_hfile& other) {
    ASSERT_EQ(Install(image()), 0u) << Utf8(status_);
    Calls started;
    ASSERT_EQ(Start(started), 0u) << Utf8(status_);
    other.reset(os::CreateFileW(u"\\\\.\\VostUsb", 0x1F01FF, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(other) << os::GetLastError();
  }
};

TEST_F(VostUsbService, TheGuardsSequence) {
  ASSERT_EQ(Install(image()), 0u) << Utf8(status_);
  Calls started;
  ASSERT_EQ(Start(started), 0u) << Utf8(status_);
  // The driver is running at the first query: no pending callback, one final callback.
  EXPECT_EQ(started.values, std::vector<std::uint32_t>{SERVICE_RUNNING});

  Calls again;
  EXPECT_EQ(Start(again), 1056u);
  EXPECT_EQ(Utf8(status_), "Serwis jest juz wystartowany");
  EXPECT_TRUE(again.values.empty());

  ASSERT_TRUE(manager_.Attach(status_)) << Utf8(status_);
  ASSERT_TRUE(manager_.Attach(status_));
  EXPECT_EQ(manager_.SetHubsAccept(true, ConfigDriverAndFile, status_), 0u) << Utf8(status_);
  EXPECT_EQ(ConfigText(),
            R"({"capture":true,"filesAndCacheMode":1,"filter":true,"hubs_always_accepted":true,"notify_handle":true})");
  EXPECT_EQ(manager_.SetMainOption(ConfigDriverOnly, 0, Option_filesAndCacheMode, false,
                                   static_cast<FilesAndCacheMode>(2), status_),
            0u)
      << Utf8(status_);
  EXPECT_EQ(manager_.UserTest_off(status_), 0u) << Utf8(status_);
  EXPECT_EQ(manager_.ClearAcceptedNameList(status_), 0u) << Utf8(status_);
  EXPECT_EQ(manager_.ClearAcceptedTypeList(status_), 0u) << Utf8(status_);

  Calls stopped;
  ASSERT_EQ(Stop(stopped), 0u) << Utf8(status_);
  EXPECT_TRUE(status_.empty()) << Utf8(status_);
  EXPECT_FALSE(manager_.IsAttached()) << "Stop closes the device first";
  ASSERT_FALSE(stopped.values.empty());
  EXPECT_EQ(stopped.values.back(), static_cast<std::uint32_t>(SERVICE_STOPPED));

  Calls gone;
  EXPECT_EQ(Uninstall(gone), 0u) << Utf8(status_);
  EXPECT_TRUE(manager_.Detach()) << "detached: nothing to close";
}

TEST_F(VostUsbService, AStopThatStaysPendingEndsAtTheBound) {
  os::unique_hfile other;
  ASSERT_NO_FATAL_FAILURE(StartHeldOpen(other));

  manager_.SetWaitLimit(300);
  Calls stopping;
  EXPECT_EQ(Stop(stopping), 1053u);
  EXPECT_EQ(Utf8(status_), "Serwis nie przyjął polecenia w wymaganym czasie");
  ASSERT_FALSE(stopping.values.empty());
  for (std::uint32_t value : stopping.values) {
    EXPECT_EQ(value, static_cast<std::uint32_t>(SERVICE_STOP_PENDING)) << "no final callback after a time-out";
  }

  other.reset();  // the driver unloads
  Calls waiting;
  EXPECT_EQ(Stop(waiting), 0u);
  EXPECT_NE(Utf8(status_), "") << "already stopping or stopped: the stop control is refused";
  manager_.SetWaitLimit(Manager::kDefaultWaitLimitMs);
  Calls again;
  EXPECT_EQ(Start(again), 0u) << Utf8(status_) << ": the driver starts again once it has unloaded";
}

TEST_F(VostUsbService, UninstallCallsBackOncePerPollUntilTheServiceIsGone) {
  ASSERT_EQ(Install(image()), 0u) << Utf8(status_);
  // A deleted service stays while another handle holds it.
  os::unique_schandle manager(os::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  ASSERT_TRUE(manager) << os::GetLastError();
  os::unique_schandle holder(os::OpenServiceW(manager.get(), u"VostUsb", SERVICE_QUERY_STATUS));
  ASSERT_TRUE(holder) << os::GetLastError();

  manager_.SetWaitLimit(200);
  Calls polls;
  EXPECT_EQ(Uninstall(polls), 1053u);
  EXPECT_EQ(Utf8(status_), "Serwis nie przyjął polecenia w wymaganym czasie");
  EXPECT_GE(polls.values.size(), 2u) << "50 ms polls within 200 ms";
  EXPECT_LE(polls.values.size(), 6u);
  for (std::uint32_t value : polls.values) EXPECT_EQ(value, 0u);

  holder.reset();  // the last handle: now it goes
  Calls after;
  EXPECT_EQ(Start(after), 1060u);
  EXPECT_EQ(Utf8(status_), "Serwis nie jest zainstalowany");
}

TEST_F(VostUsbService, AMachineThatGoesAwayWhileAStopWaitsEndsTheWait) {
  os::unique_hfile other;
  ASSERT_NO_FATAL_FAILURE(StartHeldOpen(other));

  std::thread shutdown([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    os::sim::machine::shutdown_daemon();
  });
  Calls stopping;
  const auto before = std::chrono::steady_clock::now();
  const std::uint32_t r = Stop(stopping);
  shutdown.join();
  EXPECT_NE(r, 0u);
  EXPECT_NE(r, 1053u) << "the failure of the query, not the time-out";
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
  EXPECT_EQ(Utf8(status_).rfind("Nieznany błąd funkcji QueryServiceStatusEx; kod błędu=", 0), 0u) << Utf8(status_);
}

TEST_F(VostUsbService, DeviceOperationsWithoutARunningDriver) {
  ASSERT_EQ(Install(image()), 0u) << Utf8(status_);
  EXPECT_FALSE(manager_.Attach(status_));
  EXPECT_EQ(Utf8(status_), "Driver not open; err=0x00000002");
  EXPECT_EQ(manager_.SetHubsAccept(true, ConfigDriverAndFile, status_), 2u);
  EXPECT_EQ(ConfigText(), kDefaults) << "a failed driver step leaves the file alone";
}
#endif

}  // namespace
