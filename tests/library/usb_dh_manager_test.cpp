// DHManager against simulated machines: the handle, the two-step and retried queries, string
// descriptors with their language fallback and their five failures, and the device tree look-ups.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "library/usb/dh_manager.h"
#include "library/usb/usb_connection_info.h"
#include "platform/sim/usb_fixture.h"
#include "platform/sim/usb_store.h"
#include "support/sim_root.h"
#include "text/chars.h"
#include "text/utf.h"

using namespace VostUsbWardenManager;

namespace {

const std::string kDevices = VOSTUSB_FIXTURES "/devices";
constexpr DWORD kShareAll = 7;

class UsbDHManager : public testing_support::FreshHost {
 protected:
  // A machine whose one controller has `devices` on its root hub, and `hub_` open on that hub.
  void Load(const std::string& devices) {
    namespace usb = os::sim::usb;
    ASSERT_EQ("", usb::replace_machine(usb::read_machine(
                      R"({"controllers": [{"index": 0, "ports": 4, "devices": {)" + devices + "}}]}", kDevices)));
    DHManager controller;
    ASSERT_EQ(0u, controller.Open(u"\\\\.\\HCD0", status_, GENERIC_READ, kShareAll));
    std::u16string rootHub;
    ASSERT_EQ(0u, controller.GetRootHubNameForHost(rootHub, status_));
    ASSERT_EQ(0u, hub_.Open((u"\\\\.\\" + rootHub).c_str(), status_, GENERIC_READ, kShareAll));
    ASSERT_EQ(0u, DHManager::GetDeviceInstancesMap(map_, status_));
  }

  UsbNodeConnectionInformationEx Connection(int port) {
    UsbNodeConnectionInformationEx info;
    EXPECT_EQ(0u, hub_.GetConnectionInfo(map_, port, info, status_)) << text::to_utf8(status_);
    return info;
  }

  DHManager hub_;
  DeviceInstancesMap map_;
  std::u16string status_;
};

const std::string kStringFaults = R"(
  "1": {"descriptors": {"device": "12 01 00 02 00 00 00 40 34 12 78 56 00 01 01 02 03 00",
                        "strings": {"0x0000": {"0": "04 03 09 04", "1": "08 03 4f 00 6e 00 65 00"},
                                    "0x0409": {"2": "08 03 54 00 77 00 6f 00", "3": "06 03 33 00 33 00"}}},
        "faults": {"odd_length_strings": [{"index": 2}], "wrong_type_strings": [{"index": 3}]}})";

}  // namespace

TEST_F(UsbDHManager, OpeningAnOpenObjectFailsAndKeepsTheFirstHandle) {
  Load(R"("1": {"file": "mouse.json"})");
  DHManager controller;
  std::u16string status;
  ASSERT_EQ(0u, controller.Open(u"\\\\.\\HCD0", status, GENERIC_READ, kShareAll));
  EXPECT_EQ(2404u, controller.Open(u"\\\\.\\HCD0", status, GENERIC_READ, kShareAll));
  EXPECT_EQ(u"Obiekt DHManager jest aktualnie otwarty", status);
  std::u16string name;
  EXPECT_EQ(0u, controller.GetHcdDriverKeyName(name, status));
  EXPECT_FALSE(name.empty());
  EXPECT_EQ(0u, controller.Close());
  EXPECT_NE(0u, controller.Open(u"\\\\.\\HCD1", status, GENERIC_READ, kShareAll));
  EXPECT_EQ(u"Nie udało się utworzyć uchwytu do urządzenia: \\\\.\\HCD1", status);
}

TEST_F(UsbDHManager, QueriesOnAClosedObjectFailWithTheirOwnMessage) {
  DHManager closed;
  std::u16string text;
  UsbNodeConnectionInformationEx connection;
  UsbConfigurationDescriptor configuration;
  USB_NODE_INFORMATION node{};
  STORAGE_DEVICE_NUMBER number{};
  const std::pair<std::function<DWORD(std::u16string&)>, const char16_t*> rows[] = {
      {[&](std::u16string& s) { return closed.GetHcdDriverKeyName(text, s); }, u"GetHcdDriverKeyName: połączenie nie otwarte"},
      {[&](std::u16string& s) { return closed.GetRootHubNameForHost(text, s); }, u"GetRootHubNameForHost: połączenie nie otwarte"},
      {[&](std::u16string& s) { return closed.GetNodeInfoForHub(node, s); }, u"GetNodeInfoForHub: połączenie nie otwarte"},
      {[&](std::u16string& s) { return closed.GetConnectionInfo({}, 1, connection, s); }, u"GetConnectionInfo: połączenie nie otwarte"},
      {[&](std::u16string& s) { return closed.GetConnectionDriverKeyName(1, text, s); }, u"GetConnectionDriverKeyName: połączenie nie otwarte"},
      {[&](std::u16string& s) { return closed.GetConnectionName(1, text, s); }, u"GetConnectionName: połączenie nie otwarte"},
      {[&](std::u16string& s) { return closed.GetConnectionStringDescriptor(1, 1, 0x0409, text, s); }, u"GetConnectionStringDescriptor: połączenie nie otwarte"},
      {[&](std::u16string& s) { return closed.GetConnectionConfigDescriptor(1, 0, configuration, s); }, u"GetConnectionConfigDescriptor: połączenie nie otwarte"},
      {[&](std::u16string& s) { return closed.GetStorageDeviceNumber(number, s); }, u"GetStorageDeviceNumber: połączenie nie otwarte"},
  };
  for (const auto& [query, message] : rows) {
    std::u16string status;
    EXPECT_EQ(1167u, query(status)) << text::to_utf8(message);
    EXPECT_EQ(std::u16string(message), status);
  }
}

TEST_F(UsbDHManager, EmptyPortAndPortWithoutPowerAreReadWithoutTheirDevice) {
  Load(R"("2": {"file": "mouse.json", "faults": {"connection_status": 5}})");
  const UsbNodeConnectionInformationEx empty = Connection(1);
  EXPECT_EQ(0u, empty.ConnectionStatus);
  EXPECT_TRUE(empty.PipeList.empty());
  EXPECT_EQ(u"", empty.DriverKeyName);
  EXPECT_EQ(0u, empty.DevInst);
  // A device without power has no device node to name: the query fails, the record says why.
  UsbNodeConnectionInformationEx unpowered;
  EXPECT_EQ(1167u, hub_.GetConnectionInfo(map_, 2, unpowered, status_));
  EXPECT_EQ(u"DeviceNotEnoughPower", unpowered.ToJsonHolder()[u"ConnectionStatus"].StringVal());
}

TEST_F(UsbDHManager, DeviceWithMoreThanThreePipesGetsAllOfThem) {
  Load(R"("1": {"vendor_id": "0x1234", "product_id": "0x0005", "interfaces": [{"class": 255, "endpoints": [
          {"address": "0x81", "type": "bulk", "max_packet": 64}, {"address": "0x02", "type": "bulk", "max_packet": 64},
          {"address": "0x83", "type": "bulk", "max_packet": 64}, {"address": "0x04", "type": "bulk", "max_packet": 64},
          {"address": "0x85", "type": "interrupt", "max_packet": 8, "interval": 4}]}]})");
  const UsbNodeConnectionInformationEx connection = Connection(1);
  EXPECT_EQ(5u, connection.NumberOfOpenPipes);
  ASSERT_EQ(5u, connection.PipeList.size());
  EXPECT_EQ(0x85, connection.PipeList[4].EndpointDescriptor.bEndpointAddress);
  ASSERT_EQ(1u, connection.DeviceDescriptor.Configurations.size());
  EXPECT_EQ(5u, connection.DeviceDescriptor.Configurations[0].Interfaces[0].EndPoints.size());
}

TEST_F(UsbDHManager, StringDescriptorLanguagesAndFailures) {
  Load(kStringFaults);
  std::u16string text = u"before";
  std::u16string status;
  // Only in language 0x0000: found on the second attempt.
  EXPECT_EQ(0u, hub_.GetConnectionStringDescriptor(1, 1, text, status));
  EXPECT_EQ(u"One", text);
  struct Row {
    int index;
    std::uint16_t language;
    const char16_t* message;
  };
  const Row rows[] = {
      {2, 0x0409, u"GetConnectionStringDescriptor: Przy pobieraniu deskryptora tekstowego nr 2\r\nrozmiar zwróconego tekstu nie jest wielokrotnością rozmiaru znaku"},
      {3, 0x0409, u"GetConnectionStringDescriptor: Przy pobieraniu deskryptora tekstowego nr 3\r\nzwrócono deskryptor niewłaściwego typu"},
  };
  for (const Row& row : rows) {
    os::SetLastError(0);
    text = u"before";
    EXPECT_EQ(1359u, hub_.GetConnectionStringDescriptor(1, row.index, row.language, text, status)) << row.index;
    EXPECT_EQ(std::u16string(row.message) + u'\0', status);
    EXPECT_EQ(u"before", text);
  }
  // Rejected in every language: the text stays, the message is that of the 0x0409 attempt.
  text = u"before";
  EXPECT_NE(0u, hub_.GetConnectionStringDescriptor(1, 9, text, status));
  EXPECT_EQ(u"before", text);
  EXPECT_EQ(0u, status.rfind(u"GetConnectionStringDescriptor: Błąd przy pobieraniu deskryptora tekstowego nr 9, err=0x", 0));
}

TEST_F(UsbDHManager, DeviceTreeLookUps) {
  Load(R"("1": {"file": "keyboard.json", "properties": {"FriendlyName": {"type": 1, "hex": ""}}})");
  const UsbNodeConnectionInformationEx keyboard = Connection(1);
  ASSERT_NE(0u, keyboard.DevInst);
  ASSERT_EQ(keyboard.DevInst, map_.at(keyboard.DriverKeyName));
  DWORD found = 0;
  std::u16string status;
  EXPECT_EQ(0u, DHManager::GetDevInst(text::fold_case(keyboard.DriverKeyName), found, status));
  EXPECT_EQ(keyboard.DevInst, found);
  EXPECT_EQ(1168u, DHManager::GetDevInst(u"{none}\\0001", found, status));
  EXPECT_EQ(u"GetDevInst: Nie znaleziono wezła: {none}\\0001", status);
  std::vector<std::uint8_t> value = {1, 2, 3};
  EXPECT_EQ(0u, DHManager::GetDeviceRegProp(keyboard.DevInst, CM_DRP_FRIENDLYNAME, value, status));
  EXPECT_TRUE(value.empty());
  std::u16string id;
  EXPECT_EQ(0u, DHManager::GetDeviceID(keyboard.DevInst, id, status));
  EXPECT_EQ(keyboard.DeviceID, id);
  EXPECT_EQ(0u, id.rfind(u"USB\\VID_1A2C&PID_002D\\", 0)) << text::to_utf8(id);
}
