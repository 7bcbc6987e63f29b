// The device list of simulated machines: the walk over controllers, hubs and ports, the device
// documents member by member, and what faults of the hardware leave out.
#include <gtest/gtest.h>

#include <string>

#include "library/usb/device_list.h"
#include "platform/sim/usb_fixture.h"
#include "platform/sim/usb_store.h"
#include "support/sim_root.h"
#include "text/utf.h"

using namespace VostUsbWardenManager;

namespace {

const std::string kDevices = VOSTUSB_FIXTURES "/devices";

// One controller (index 0, or `index`) whose root hub has `devices` ("port": device) on its ports.
std::string MachineWith(const std::string& devices, int index = 0) {
  return R"({"controllers": [{"index": )" + std::to_string(index) + R"(, "ports": 8, "devices": {)" + devices + "}}]}";
}

class UsbDeviceList : public testing_support::FreshHost {
 protected:
  void Load(const std::string& machine) {
    namespace usb = os::sim::usb;
    ASSERT_EQ("", usb::replace_machine(usb::read_machine(machine, kDevices)));
  }

  JsonHolder List() {
    JsonHolder list;
    EXPECT_EQ(0u, GetCurrentUSBDevicesJSONList(100, list, status_));
    EXPECT_EQ(JsonHolderType::Array, list.GetTyp());
    return list;
  }

  // "port:IsHub" of each document, e.g. "1:0 4:1".
  std::string Walk() {
    const JsonHolder list = List();
    std::string out;
    for (int i = 0; i < static_cast<int>(list.Count()); ++i) {
      out += (i ? " " : "") + std::to_string(static_cast<int>(list[i][u"PortNumberOfBus"].NumberVal())) + ":" +
             (list[i][u"IsHub"].Value().flag ? "1" : "0");
    }
    return out;
  }

  std::u16string status_;
};

std::u16string StringOf(const JsonHolder& object, const std::u16string& name) {
  return object.HasField(name) ? object[name].StringVal() : u"(absent)";
}

}  // namespace

TEST_F(UsbDeviceList, MachinesWithoutDevicesGiveAnEmptyList) {
  for (const std::string& machine : {std::string(R"({"controllers": []})"), MachineWith("")}) {
    Load(machine);
    std::u16string text = u"unchanged";
    EXPECT_EQ(0u, GetCurrentUSBDevicesJSONListText(100, text, status_)) << machine;
    EXPECT_EQ(u"[]", text) << machine;
  }
}

TEST_F(UsbDeviceList, DefaultMachineListsKeyboardMouseAndHubWithTheirDocuments) {
  const JsonHolder list = List();  // a fresh machine is the default desktop
  ASSERT_EQ(3u, list.Count());
  std::u16string names;
  for (const char16_t* name : {u"ConnectionInformation", u"DEVINST", u"DeviceDescriptor", u"DeviceProperty",
                                     u"DriveLetters", u"IsHub", u"PortNumberOfBus"}) {
    EXPECT_TRUE(list[0].HasField(name)) << text::to_utf8(name);
  }
  EXPECT_EQ(7u, list[0].Count());
  const JsonHolder& keyboard = list[0];
  EXPECT_EQ(u"SONIX A", StringOf(keyboard[u"DeviceDescriptor"], u"Manufacturer"));
  EXPECT_EQ(u"USB Keyboard", StringOf(keyboard[u"DeviceDescriptor"], u"Product"));
  EXPECT_FALSE(keyboard[u"DeviceDescriptor"].HasField(u"SerialNumber"));
  // The keyboard's HID descriptor is not taken for its endpoint.
  const JsonHolder& endpoint = keyboard[u"DeviceDescriptor"][u"Configurations"][0][u"Interfaces"][0][u"EndPoints"][0];
  EXPECT_EQ(129, endpoint[u"bEndpointAddress"].NumberVal());
  EXPECT_EQ(8, endpoint[u"wMaxPacketSize"].NumberVal());
  // The document's descriptor is the connection record's.
  EXPECT_EQ(keyboard[u"DeviceDescriptor"].ToString(),
            keyboard[u"ConnectionInformation"][u"DeviceDescriptor"].ToString());
  EXPECT_EQ(u"", keyboard[u"DriveLetters"].StringVal());
  EXPECT_LT(0, keyboard[u"DEVINST"].NumberVal());
  EXPECT_EQ(u"DeviceConnected", keyboard[u"ConnectionInformation"][u"ConnectionStatus"].StringVal());
  EXPECT_EQ("1:0 2:0 1:1", Walk());
  // USB's bus type: Data1 0x9D7DEBBC (2642275260) is written in exponent form.
  const std::string text = text::to_utf8(keyboard[u"DeviceProperty"].ToString());
  EXPECT_NE(std::string::npos, text.find("\"BusTypeGuid\":{\"Data1\":2.64228E+009,\"Data2\":")) << text;
}

TEST_F(UsbDeviceList, ControllersAreFoundAcrossGapsInTheirNumbering) {
  Load(MachineWith(R"("2": {"file": "mouse.json"})", 3));
  EXPECT_EQ("2:0", Walk());
}

TEST_F(UsbDeviceList, HubsComeBeforeTheDevicesBehindThemDepthFirst) {
  Load(MachineWith(R"("1": {"file": "nested_hubs.json"}, "3": {"file": "keyboard.json"})"));
  // Hub on 1 -> mouse on 1, hub on 3 -> keyboard on 1, card reader on 2; then the keyboard on 3.
  EXPECT_EQ("1:1 1:0 3:1 1:0 2:0 3:0", Walk());
}

TEST_F(UsbDeviceList, DriveLettersOfEachStorageDevice) {
  Load(MachineWith(R"("1": {"file": "usb_stick.json"}, "2": {"file": "card_reader.json"}, "3": {"file": "mouse.json"},
                      "4": {"file": "usb_hard_disk.json"})"));
  const JsonHolder list = List();
  ASSERT_EQ(4u, list.Count());
  EXPECT_EQ(u"E", list[0][u"DriveLetters"].StringVal());
  EXPECT_EQ(u"FG", list[1][u"DriveLetters"].StringVal());
  EXPECT_EQ(u"", list[2][u"DriveLetters"].StringVal());
  EXPECT_NE(u"", list[3][u"DriveLetters"].StringVal());
}

TEST_F(UsbDeviceList, StickBehindPortFourOfAnExternalHub) {
  Load(MachineWith(R"("2": {"file": "hub.json"})"));
  const JsonHolder list = List();
  ASSERT_EQ(2u, list.Count());
  EXPECT_TRUE(list[0][u"IsHub"].Value().flag);
  EXPECT_EQ(2, list[0][u"PortNumberOfBus"].NumberVal());
  EXPECT_FALSE(list[1][u"IsHub"].Value().flag);
  EXPECT_EQ(4, list[1][u"PortNumberOfBus"].NumberVal());
  EXPECT_EQ(u"K", list[1][u"DriveLetters"].StringVal());
}

TEST_F(UsbDeviceList, FaultsLeaveOutWhatCannotBeRead) {
  struct Row {
    const char* what;
    std::string devices;
    std::string walk;
  };
  const Row rows[] = {
      {"a hub that cannot be opened goes with everything behind it",
       R"("1": {"file": "nested_hubs.json", "faults": {"open_error": 5}}, "2": {"file": "mouse.json"})", "2:0"},
      {"a device whose driver key name cannot be read",
       R"("1": {"file": "mouse.json", "faults": {"driver_key_error": 31}}, "2": {"file": "keyboard.json"})", "2:0"},
      {"a port whose device is not connected",
       R"("1": {"file": "mouse.json", "faults": {"connection_status": 5}}, "2": {"file": "keyboard.json"})", "2:0"},
      {"a device without a physical device object name",
       R"("1": {"file": "mouse.json", "faults": {"missing_properties": ["PhysicalDeviceObjectName"]}},
          "3": {"file": "keyboard.json"})",
       "3:0"},
  };
  for (const Row& row : rows) {
    Load(MachineWith(row.devices));
    EXPECT_EQ(row.walk, Walk()) << row.what;
  }
}

// Six hubs in a chain: USB allows five below the root hub, so the sixth and what is behind it
// are left out.
TEST_F(UsbDeviceList, HubsNestedPastTheLimitAreLeftOut) {
  const std::string hub = R"({"vendor_id": "0x05E3", "product_id": "0x0610", "class": 9,
                               "interfaces": [{"class": 9, "endpoints": [{"address": "0x81", "type": "interrupt", "max_packet": 1}]}],
                               "hub": {"ports": 2, "devices": {"1": )";
  std::string chain = R"({"file": "mouse.json"})";
  for (int i = 0; i < 6; ++i) chain = hub + chain + "}}}";
  Load(MachineWith(R"("1": )" + chain));
  EXPECT_EQ("1:1 1:1 1:1 1:1 1:1", Walk());
}

TEST_F(UsbDeviceList, MissingStringsAndTheSerialNumberFromTheInstanceIdentifier) {
  const std::string all_languages = R"([{"index": 3, "language": "0x0409"}, {"index": 3, "language": "0x0000"},
                                        {"index": 3, "language": "0x0001"}])";
  Load(MachineWith(R"("1": {"file": "no_strings.json"},
                      "2": {"file": "usb_stick.json", "instance_id": "USB\\VID_1234&PID_5678\\ABC123",
                            "faults": {"string_errors": )" + all_languages + R"(}},
                      "3": {"file": "mouse.json",
                            "faults": {"string_errors": [{"index": 1, "language": "0x0409"}, {"index": 1, "language": "0x0000"},
                                                         {"index": 1, "language": "0x0001"}],
                                       "missing_properties": ["Manufacturer"]}})"));
  const JsonHolder list = List();
  ASSERT_EQ(3u, list.Count());
  const JsonHolder& none = list[0][u"DeviceDescriptor"];
  EXPECT_EQ(u"(absent)", StringOf(none, u"Manufacturer"));
  EXPECT_EQ(u"(absent)", StringOf(none, u"Product"));
  EXPECT_EQ(u"(absent)", StringOf(none, u"SerialNumber"));
  EXPECT_EQ(u"ABC123", StringOf(list[1][u"DeviceDescriptor"], u"SerialNumber"));
  // A manufacturer string that cannot be read and no manufacturer property: present and empty.
  EXPECT_EQ(u"", StringOf(list[2][u"DeviceDescriptor"], u"Manufacturer"));
  EXPECT_EQ(u"USB Optical Mouse", StringOf(list[2][u"DeviceDescriptor"], u"Product"));
}

TEST_F(UsbDeviceList, SecondConfigurationThatCannotBeReadEndsTheList) {
  const std::string config = R"("09 02 12 00 01 01 00 80 32  09 04 00 00 00 ff 00 00 00")";
  Load(MachineWith(R"("1": {"descriptors": {"device": "12 01 00 02 00 00 00 40 34 12 78 56 00 01 00 00 00 02",
                                            "configurations": [)" + config + "," + config + R"(]},
                            "faults": {"configuration_errors": [1]}})"));
  const JsonHolder list = List();
  ASSERT_EQ(1u, list.Count());
  EXPECT_EQ(2, list[0][u"DeviceDescriptor"][u"bNumConfigurations"].NumberVal());
  EXPECT_EQ(1u, list[0][u"DeviceDescriptor"][u"Configurations"].Count());
}

TEST_F(UsbDeviceList, DevicePropertiesTakeTheirShapesAndLeaveOutWhatIsNotSet) {
  Load(MachineWith(R"("1": {"file": "mouse.json", "properties": {"CompatibleIDs": [], "InstallState": 4, "RemovalPolicy": 0,
                                                                  "LegacyBusType": 4294967295, "UINumber": 7},
                            "faults": {"missing_properties": ["FriendlyName"]}},
                      "2": {"file": "mouse.json", "properties": {"InstallState": 3, "RemovalPolicy": 2, "LegacyBusType": 15,
                                                                  "BusNumber": {"type": 4, "hex": "01 00"}}})"));
  const JsonHolder list = List();
  ASSERT_EQ(2u, list.Count());
  const JsonHolder& first = list[0][u"DeviceProperty"];
  EXPECT_EQ("[]", text::to_utf8(first[u"CompatibleIDs"].ToString()));
  EXPECT_FALSE(first.HasField(u"InstallState"));
  EXPECT_FALSE(first.HasField(u"RemovalPolicy"));
  EXPECT_FALSE(first.HasField(u"FriendlyName"));
  EXPECT_EQ(u"InterfaceTypeUndefined", StringOf(first, u"LegacyBusType"));
  EXPECT_EQ(7, first[u"UINumber"].NumberVal());
  const JsonHolder& second = list[1][u"DeviceProperty"];
  EXPECT_EQ(u"InstallStateFinishInstall", StringOf(second, u"InstallState"));
  EXPECT_EQ(u"RemovalPolicyExpectOrderlyRemoval", StringOf(second, u"RemovalPolicy"));
  EXPECT_EQ(u"PNPBus", StringOf(second, u"LegacyBusType"));
  EXPECT_FALSE(second.HasField(u"BusNumber"));  // two bytes where a number needs four
  // Members in name order whatever order they were read in.
  std::u16string previous;
  for (const auto& [name, value] : *second.Value().object) {
    EXPECT_LT(previous, name);
    previous = name;
  }
}
