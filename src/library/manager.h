// The driver control library's facade: the one object through which the guard installs,
// uninstalls, starts and stops the filter driver's service, opens the driver's device, changes its
// options, clears its accepted lists and keeps the driver's configuration file, admittance folder
// and registry values.
//
// Operations return a Windows error code (0 for success) and put a message into status_text on
// failure; nothing is thrown out of them. waitForPending is a polling interval in milliseconds (0:
// no waiting). Every waiting loop gives up after wait_limit_ms (30 s, what Windows' own service
// manager allows a service to start or stop), with ERROR_SERVICE_REQUEST_TIMEOUT (1053).
//
// Not thread-safe: one operation at a time.
#pragma once

#include <cstdint>
#include <string>

#include "library/json/json_holder.h"
#include "library/service/sc_manager.h"
#include "library/usb/dev_node.h"
#include "library/usb/usb_connection_info.h"
#include "library/device_tester.h"
#include "library/notify_sender.h"
#include "library/warden_config.h"
#include "platform/os.h"

namespace VostUsbWardenManager {

// The service-state callback: what `value` carries is given with each operation.
using callBack = void (*)(std::uint32_t value, void* context);
// The device test callback of the user test (see DeviceTester).
using fun = testFun;

class Manager {
 public:
  static constexpr std::uint32_t kDefaultWaitLimitMs = 30000;

  // The guard passes "VostUsb", "VostUsb" and "\\.\VostUsb".
  Manager(const char16_t* service_name, const char16_t* display_name, const char16_t* device_name);
  Manager(const Manager&) = delete;
  Manager& operator=(const Manager&) = delete;
  // Stops the notifier and the user test when running, closes the device, then the service handles.
  virtual ~Manager();

  // --- The service ---
  // Creates the kernel-driver service (not started). With waiting, polls until the service opens,
  // calling back each failed open's code. Then writes the registry values and the configuration
  // file: cfg (default options when null), with admitts replacing its admittances when given.
  std::uint32_t Install(std::uint32_t waitForPending, const char16_t* filepath, const char16_t* cfgFile,
                        const char16_t* admittancesFolder, std::uint32_t startType, const char16_t* grupa,
                        const WardenConfig* cfg, const AdmittanceList* admitts, std::u16string& status_text,
                        bool active, void* context, callBack cb);
  // Deletes the service. With waiting, polls until it is gone, calling back 0 on each poll.
  std::uint32_t Uninstall(std::uint32_t waitForPending, std::u16string& status_text, void* context, callBack cb);
  // Starts the service. With waiting, calls back each pending state and then the final state.
  std::uint32_t Start(std::uint32_t waitForPending, std::u16string& status_text, void* context, callBack cb);
  // Closes the device, then sends the stop control; waits as Start does. A stopped or missing
  // service is not an error: such failures give 0 with the text in status_text.
  std::uint32_t Stop(std::uint32_t waitForPending, std::u16string& status_text, void* context, callBack cb);

  // --- The device ---
  bool Attach(std::u16string& status_text);
  bool Detach();
  bool Detach(std::u16string& status_text);
  bool IsAttached() const { return driver != INVALID_HANDLE_VALUE; }

  std::uint32_t ClearAcceptedNameList(std::u16string& status_text);
  std::uint32_t ClearAcceptedTypeList(std::u16string& status_text);
  std::uint32_t SetHubsAccept(bool onoff, ConfigTypes mode, std::u16string& status_text);
  // Starts the user test: a DeviceTester on its own device handle calls `test` for each new
  // device; the driver waits WaitTimeIn100nanoSecs for each verdict (0: without a time-out) and
  // then applies defaultAccepted. 1 when a test runs already, 87 without a callback.
  std::uint32_t UserTest_on(fun test, std::int64_t WaitTimeIn100nanoSecs, void* context, bool defaultAccepted,
                            std::u16string& status_text);
  // Ends the user test: the running tester's, or (without one) the driver's, by its control code.
  std::uint32_t UserTest_off(std::u16string& status_text);

  // --- The USB devices connected now (they keep no state in the facade) ---
  // The list's compact text; `jsonText` changes only on success. The guard passes 100.
  static std::uint32_t GetCurrentUSBDevicesJSONListText(int maxHostItems, std::u16string& jsonText,
                                                        std::u16string& status_text);
  // `jh` becomes the array of device documents (untouched on failure).
  static std::uint32_t GetCurrentUSBDevicesJSONList(int maxHostItems, JsonHolder& jh, std::u16string& status_text);
  // Appends to `jh` the document of the device on `port`, and of everything behind it when it is a hub.
  static std::uint32_t GetUSBDeviceJSON(const DeviceInstancesMap& devsMap, int port,
                                        const UsbNodeConnectionInformationEx& connInfo, JsonHolder& jh,
                                        const VolumesMap& volsMap, std::u16string& status_text);

  // --- The configuration file and the registry values ---
  static void SetDefaultWardenConfig(WardenConfig& cfg, const AdmittanceList* admitts);
  std::uint32_t SaveConfig(const WardenConfig* cfg, std::u16string& status_text);
  // Changes one option in the driver (mode 0), in the file (mode 1) or both (mode 2, the driver
  // first). io_code and onoff serve options 1, 2, 3 and 5; racm serves option 4. A file that does
  // not load or validate is never replaced; only a missing one is created.
  std::uint32_t SetMainOption(ConfigTypes mode, std::uint32_t io_code, OptionID option, bool onoff,
                              FilesAndCacheMode racm, std::u16string& status_text);
  static std::uint32_t ValidateConfigJson(JsonHolder& jh, std::u16string& status_text);
  static std::uint32_t ValidateBoolOptional(JsonHolder& jh, const char16_t* optName);
  std::uint32_t SaveRegistryValues(const char16_t* cfgFile, const char16_t* admittancesFolder, bool active,
                                   std::u16string& status_text);
  std::uint32_t GetConfigRegSzValue(const std::u16string& valName, std::u16string& result,
                                    std::u16string& status_text);
  std::uint32_t GetConfigFile(std::u16string& result, std::u16string& status_text);
  std::uint32_t GetAdmittancesFolder(std::u16string& FullPathName, std::u16string& status_text, bool create);

  // --- Beyond the guard's use ---
  // The bound of every waiting loop, in milliseconds.
  void SetWaitLimit(std::uint32_t milliseconds) { wait_limit_ms = milliseconds; }
  // The code behind the status text of the last failed service call (Stop reports its failures
  // with result 0; this tells a stopped service from a refused call).
  std::uint32_t ServiceLastError() const { return scm.getLastError(); }
  const std::u16string& ServiceName() const { return service_name; }

 private:
  // The result of an SCManager step; a failure's text goes to status_text.
  std::uint32_t ScResult(std::uint32_t r, std::u16string& status_text) const;
  // Polls the service's state while it is pending (Start and Stop).
  std::uint32_t WaitWhilePending(std::uint32_t waitForPending, std::u16string& status_text, void* context,
                                 callBack cb, std::u16string_view timeout_text);
  // The device step of the option and list operations: Attach, then one control code.
  std::uint32_t SendToDriver(std::uint32_t io_code, void* in, std::uint32_t in_size, std::u16string& status_text);
  std::uint32_t ChangeOptionInFile(OptionID option, bool onoff, FilesAndCacheMode racm, std::u16string& status_text);
  std::u16string ServiceKeyPath() const;

  DeviceTester* tester = nullptr;
  NotifySender* notifier = nullptr;
  std::u16string device_name;
  std::u16string service_name;
  std::u16string display_name;
  HANDLE driver = INVALID_HANDLE_VALUE;
  SCManager scm;
  std::uint32_t wait_limit_ms = kDefaultWaitLimitMs;
};

}  // namespace VostUsbWardenManager
