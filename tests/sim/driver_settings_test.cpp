// What the VostUsb driver emulation takes from the configuration file and the admittance files that
// its service key names, when it starts: devices listed by an admittance pass without asking, the
// configuration's hubs setting, mode and filter switch apply, and files it cannot use are skipped.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "library/driver_interface.h"
#include "machine_fixture.h"
#include "text/utf.h"

namespace sim_tests {
namespace {

namespace driver = VostUsbWardenManager::driver;

// A device text as the driver's request carries it.
std::u16string device_text(int vendor, int product, int revision, const char* serial) {
  std::string text = "{\"DeviceDescriptor\":{\"bcdDevice\":" + std::to_string(revision) +
                     ",\"idProduct\":" + std::to_string(product) + ",\"idVendor\":" + std::to_string(vendor);
  if (serial) text += ",\"SerialNumber\":\"" + std::string(serial) + "\"";
  return text::from_utf8(text + "},\"DeviceProperty\":{\"ClassName\":\"DiskDrive\"}}");
}

class DriverSettings : public MachineTest {
 protected:
  void TearDown() override {
    device_.reset();
    service_.reset();
    MachineTest::TearDown();
  }

  // Files in the scratch folder, in UTF-16 as the library writes them: `config` and the admittance
  // folder's files.
  void write_config(const std::string& content) { scratch_file("config", utf16(content)); }
  void write_admittance(const std::string& name, const std::string& content) {
    std::filesystem::create_directories(native_dir() + "/accept");
    scratch_file("accept/" + name, utf16(content));
  }
  static std::string utf16(const std::string& content) { return text::to_utf16le(text::from_utf8(content)); }

  // Creates the service with both values in its key, starts it, and turns the user test on so that
  // every device the driver asks about is refused after 100 ms.
  void start_driver() {
    service_ = create(u"VostUsb", SERVICE_KERNEL_DRIVER, vostusb_image());
    os::unique_hkey key;
    ASSERT_EQ(os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\VostUsb", 0, KEY_SET_VALUE,
                                key.put()),
              ERROR_SUCCESS);
    for (const auto& [name, path] : {std::pair{u"ConfigFilePath", win_path("config")},
                                     std::pair{u"AdmittancesFolderPath", win_path("accept")}}) {
      ASSERT_EQ(os::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                                   static_cast<DWORD>((path.size() + 1) * 2)),
                ERROR_SUCCESS);
    }
    ASSERT_TRUE(os::StartServiceW(service_.get(), 0, nullptr)) << os::GetLastError();
    device_.reset(os::CreateFileW(driver::kDevicePath, driver::kDeviceAccess, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(device_) << os::GetLastError();
    event_.reset(os::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    driver::StartRecord start{reinterpret_cast<std::uint64_t>(event_.get()), 1000000, 0, 0};
    DWORD returned = 0;
    ASSERT_TRUE(os::DeviceIoControl(device_.get(), driver::kUserTestOn, &start, sizeof start, nullptr, 0, &returned, nullptr));
  }

  std::string driver_state() const { return run("vostusb-sim", {"driver"}).out; }

  os::unique_schandle service_;
  os::unique_hfile device_;
  os::unique_handle event_;
};

void expect_line(const std::string& state, const std::string& line) {
  EXPECT_NE(state.find(line + "\n"), std::string::npos) << "missing \"" << line << "\" in\n" << state;
}

TEST_F(DriverSettings, AdmittedDevicesPassWithoutAsking) {
  write_admittance("Vid_0781_Pid_5567_Rev_0100.json",
                   R"({"VendorID":1921,"ProductID":21863,"RevBCD":256,"SerialNumbers":[{"CacheUse":true,"SerialNumber":"4C53"},{"CacheUse":false,"SerialNumber":"77"}]})");
  write_admittance("vid_1234_pid_abcd_rev_0001.json",  // any letter case; an entry without a serial
                   R"({"VendorID":4660,"ProductID":43981,"RevBCD":1,"SerialNumbers":[{"CacheUse":1}]})");
  start_driver();
  struct Case {
    const char* what;
    std::u16string text;
    const char* verdict;
  };
  const Case cases[] = {
      {"listed serial", device_text(0x781, 0x5567, 0x100, "4C53"), "accepted"},
      {"second listed serial", device_text(0x781, 0x5567, 0x100, "77"), "accepted"},
      {"serial in other letter case", device_text(0x781, 0x5567, 0x100, "4c53"), "refused"},
      {"unlisted serial", device_text(0x781, 0x5567, 0x100, "4C54"), "refused"},
      {"no serial where serials are listed", device_text(0x781, 0x5567, 0x100, nullptr), "refused"},
      {"other revision", device_text(0x781, 0x5567, 0x101, "4C53"), "refused"},
      {"any serial", device_text(0x1234, 0xABCD, 1, "whatever"), "accepted"},
      {"any serial, device without one", device_text(0x1234, 0xABCD, 1, nullptr), "accepted"},
      {"text without a descriptor", u"{\"DeviceProperty\":{}}", "refused"},
      {"identity out of range", device_text(0x11234, 0xABCD, 1, nullptr), "refused"},
  };
  for (const Case& c : cases) EXPECT_EQ(offer_device(c.text), c.verdict) << c.what;
  const std::string state = driver_state();
  expect_line(state, "admittances: read (2 files, 0 skipped)");
  expect_line(state, "  Vid_0781_Pid_5567_Rev_0100.json serial \"4C53\", cache");
  expect_line(state, "  Vid_0781_Pid_5567_Rev_0100.json serial \"77\", no cache");
  expect_line(state, "  Vid_1234_Pid_abcd_Rev_0001.json any serial, cache");
  expect_line(state, "admitted without asking: 4");
  // Only the devices the user test refused were asked about: nothing is left pending.
  expect_line(state, "pending requests: 0");
}

TEST_F(DriverSettings, FilesItCannotUseAreSkipped) {
  const std::string valid = R"({"VendorID":1,"ProductID":2,"RevBCD":3,"SerialNumbers":[{"SerialNumber":"S"}]})";
  write_admittance("Vid_0001_Pid_0002_Rev_0003.json", valid);
  write_admittance("Vid_0001_Pid_0002_Rev_0004.json", valid);  // the name is not its content's
  write_admittance("Vid_0009_Pid_0002_Rev_0003.json", "not json");
  write_admittance("Vid_0008_Pid_0002_Rev_0003.json", R"({"VendorID":65536,"ProductID":2,"RevBCD":3,"SerialNumbers":[]})");
  write_admittance("Vid_0001_Pid_0002_Rev_03.json", valid);  // not the name shape: not looked at
  write_config("[1, 2]");                                      // not an object: defaults
  start_driver();
  const std::string state = driver_state();
  expect_line(state, "admittances: read (1 files, 3 skipped)");
  EXPECT_NE(state.find("configuration: not read: "), std::string::npos) << state;
  expect_line(state, "hubs accepted: no");
  expect_line(state, "files and cache mode: 0");
  EXPECT_EQ(offer_device(device_text(1, 2, 3, "S")), "accepted");
  EXPECT_EQ(offer_device(device_text(1, 2, 4, "S")), "refused");
}

TEST_F(DriverSettings, ConfigurationSetsTheStartingState) {
  struct Case {
    const char* what;
    std::string config;  // empty: no file
    std::vector<std::string> lines;
    const char* plain_device;  // the verdict on a device no admittance lists
    const char* hub;
  };
  const Case cases[] = {
      {"no file", "", {"configuration: not read: ", "hubs accepted: no", "files and cache mode: 0"}, "refused", "refused"},
      {"hubs and mode",
       R"({"hubs_always_accepted":true,"filesAndCacheMode":2,"capture":false})",
       {"configuration: read (filter on, capture off, notify handle on)", "hubs accepted: yes", "files and cache mode: 2"},
       "refused", "accepted"},
      {"filter off", R"({"filter":0})", {"configuration: read (filter off, capture on, notify handle on)"}, "accepted",
       "accepted"},
      {"mode out of range", R"({"filesAndCacheMode":4,"hubs_always_accepted":true})",
       {"configuration: not read: ", "hubs accepted: no", "files and cache mode: 0"}, "refused", "refused"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(native_dir() + "/config");
    if (!c.config.empty()) write_config(c.config);
    start_driver();
    const std::string state = driver_state();
    for (const std::string& line : c.lines) EXPECT_NE(state.find(line), std::string::npos) << line << " in\n" << state;
    EXPECT_EQ(offer_device(device_text(5, 6, 7, "x")), c.plain_device);
    EXPECT_EQ(offer_device(u"{}", true), c.hub);
    // Stopped and deleted: the next case starts the driver afresh.
    device_.reset();
    SERVICE_STATUS st{};
    ASSERT_TRUE(os::ControlService(service_.get(), SERVICE_CONTROL_STOP, &st));
    ASSERT_TRUE(os::DeleteService(service_.get()));
    service_.reset();
  }
}

}  // namespace
}  // namespace sim_tests
