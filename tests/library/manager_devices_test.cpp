// The facade's device lists on simulated machines: the list, its text and one device's documents
// are the USB inventory's, and a machine that cannot be read gives a failure with nothing changed.
#include <gtest/gtest.h>

#include <string>

#include "library/manager.h"
#include "library/usb/dh_manager.h"
#include "platform/sim/usb_fixture.h"
#include "platform/sim/usb_store.h"
#include "support/sim_root.h"
#include "text/utf.h"

using namespace VostUsbWardenManager;

namespace {

class FacadeDeviceList : public testing_support::FreshHost {
 protected:
  void Load(const std::string& devices) {
    namespace usb = os::sim::usb;
    const std::string machine = R"({"controllers": [{"index": 0, "ports": 8, "devices": {)" + devices + "}}]}";
    ASSERT_EQ("", usb::replace_machine(usb::read_machine(machine, VOSTUSB_FIXTURES "/devices")));
  }
  std::u16string status_;
};

TEST_F(FacadeDeviceList, TheListAndItsText) {
  Load(R"("2": {"file": "hub.json"}, "5": {"file": "keyboard.json"})");
  JsonHolder list;
  ASSERT_EQ(Manager::GetCurrentUSBDevicesJSONList(100, list, status_), 0u) << text::to_utf8(status_);
  ASSERT_EQ(list.Count(), 3u) << "the hub, the stick behind it, the keyboard";
  EXPECT_EQ(list[1][u"DriveLetters"].StringVal(), u"K");
  std::u16string text;
  ASSERT_EQ(Manager::GetCurrentUSBDevicesJSONListText(100, text, status_), 0u);
  EXPECT_EQ(text, list.ToString());
  EXPECT_EQ(text::to_utf8(text).find('\n'), std::string::npos) << "compact";
  std::u16string none;
  ASSERT_EQ(Manager::GetCurrentUSBDevicesJSONListText(0, none, status_), 0u);
  EXPECT_EQ(none, u"[]") << "no controller asked";
}

TEST_F(FacadeDeviceList, OneDeviceAndWhatIsBehindIt) {
  Load(R"("2": {"file": "hub.json"})");
  DeviceInstancesMap devices;
  ASSERT_EQ(DHManager::GetDeviceInstancesMap(devices, status_), 0u);
  VolumesMap volumes;
  ASSERT_EQ(DevNode::GetVolumesInfo(volumes, status_), 0u);
  JsonHolder list;
  ASSERT_EQ(Manager::GetCurrentUSBDevicesJSONList(100, list, status_), 0u);
  // The connection record of root port 2, as the list's document holds it, gives the same two documents.
  DHManager controller;
  ASSERT_EQ(controller.Open(u"\\\\.\\HCD0", status_, GENERIC_READ, 7), 0u) << text::to_utf8(status_);
  std::u16string root_hub;
  ASSERT_EQ(controller.GetRootHubNameForHost(root_hub, status_), 0u);
  DHManager hub;
  ASSERT_EQ(hub.Open((u"\\\\.\\" + root_hub).c_str(), status_, GENERIC_READ, 7), 0u);
  UsbNodeConnectionInformationEx connection;
  ASSERT_EQ(hub.GetConnectionInfo(devices, 2, connection, status_), 0u) << text::to_utf8(status_);
  JsonHolder documents = JsonHolder::CreateArray();
  ASSERT_EQ(Manager::GetUSBDeviceJSON(devices, 2, connection, documents, volumes, status_), 0u);
  ASSERT_EQ(documents.Count(), 2u);
  EXPECT_EQ(documents[0].ToString(), list[0].ToString());
  EXPECT_EQ(documents[1].ToString(), list[1].ToString());
}

// A machine file that cannot be read has no host controller that opens: like a machine without
// controllers (Wine's), it lists no devices, and the device and volume maps are never asked for.
TEST_F(FacadeDeviceList, AMachineThatCannotBeReadListsNoDevices) {
  testing_support::write_native_file(os::sim::usb::machine_file_path(), "{not a machine");
  std::u16string text = u"before";
  EXPECT_EQ(Manager::GetCurrentUSBDevicesJSONListText(100, text, status_), 0u) << text::to_utf8(status_);
  EXPECT_EQ(text, u"[]");
  JsonHolder list = JsonHolder::CreateArray();
  list.Add(new JsonHolder(u"replaced"));
  EXPECT_EQ(Manager::GetCurrentUSBDevicesJSONList(100, list, status_), 0u);
  EXPECT_EQ(list.Count(), 0u);
}

}  // namespace
