// The descriptor records built from raw bytes as devices return them, and their JSON: the walk of
// a configuration by descriptor lengths and types, and descriptors that lie about their sizes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "library/usb/usb_connection_info.h"
#include "library/usb/usb_descriptors.h"
#include "text/utf.h"

using namespace VostUsbWardenManager;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string TextOf(const JsonHolder& json) { return text::to_utf8(json.ToString()); }

// A configuration from its whole descriptor as the device returns it (header first).
UsbConfigurationDescriptor ConfigurationOf(const Bytes& whole) {
  UsbConfigurationDescriptor configuration;
  const RawBytes bytes(whole);
  configuration.assign(first_bytes(bytes, 9), bytes_from(bytes, 9));
  return configuration;
}

// The endpoint addresses of each interface, e.g. "129|2,".
std::string EndpointsOf(const UsbConfigurationDescriptor& configuration) {
  std::string out;
  for (const UsbInterfaceDescriptor& interface : configuration.Interfaces) {
    for (std::size_t i = 0; i < interface.EndPoints.size(); ++i) {
      out += (i ? "|" : "") + std::to_string(interface.EndPoints[i].bEndpointAddress);
    }
    out += ",";
  }
  return out;
}

// A boot keyboard with a consumer-control interface: each interface descriptor is followed by its
// HID descriptor (type 0x21) before the endpoint.
const Bytes kKeyboard = {
    0x09, 0x02, 0x3B, 0x00, 0x02, 0x01, 0x00, 0xA0, 0x32,  // configuration, 59 bytes, 2 interfaces
    0x09, 0x04, 0x00, 0x00, 0x01, 0x03, 0x01, 0x01, 0x00,  // interface 0: HID boot keyboard
    0x09, 0x21, 0x11, 0x01, 0x00, 0x01, 0x22, 0x41, 0x00,  // HID descriptor
    0x07, 0x05, 0x81, 0x03, 0x08, 0x00, 0x0A,              // endpoint 0x81, interrupt, 8 bytes
    0x09, 0x04, 0x01, 0x00, 0x01, 0x03, 0x00, 0x00, 0x00,  // interface 1: HID
    0x09, 0x21, 0x11, 0x01, 0x00, 0x01, 0x22, 0x99, 0x00,  // HID descriptor
    0x07, 0x05, 0x82, 0x03, 0x04, 0x00, 0x0A,              // endpoint 0x82, interrupt, 4 bytes
};

// A memory stick: one mass-storage interface with two bulk endpoints.
const Bytes kStick = {
    0x09, 0x02, 0x20, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32,  // 32 bytes
    0x09, 0x04, 0x00, 0x00, 0x02, 0x08, 0x06, 0x50, 0x00,  // mass storage, bulk only
    0x07, 0x05, 0x81, 0x02, 0x00, 0x02, 0x00,              // bulk in, 512 bytes
    0x07, 0x05, 0x02, 0x02, 0x00, 0x02, 0x00,              // bulk out
};

}  // namespace

TEST(UsbDescriptors, KeyboardEndpointsAreTheEndpointDescriptorsNotTheHidDescriptors) {
  const UsbConfigurationDescriptor configuration = ConfigurationOf(kKeyboard);
  ASSERT_EQ(2u, configuration.Interfaces.size());
  EXPECT_EQ("129,130,", EndpointsOf(configuration));
  const UsbInterfaceDescriptor& second = configuration.Interfaces[1];
  EXPECT_EQ(1, second.bInterfaceNumber);
  EXPECT_EQ(3, second.bInterfaceClass);
  const UsbEndpointDescriptor& endpoint = configuration.Interfaces[0].EndPoints[0];
  EXPECT_EQ(7, endpoint.bLength);
  EXPECT_EQ(5, endpoint.bDescriptorType);
  EXPECT_EQ(3, endpoint.bmAttributes);
  EXPECT_EQ(8, endpoint.wMaxPacketSize);
  EXPECT_EQ(10, endpoint.bInterval);
}

TEST(UsbDescriptors, ConfigurationJsonHasItsMembersInNameOrder) {
  const UsbConfigurationDescriptor configuration = ConfigurationOf(kStick);
  EXPECT_EQ(
      "{\"Interfaces\":[{\"EndPoints\":["
      "{\"bDescriptorType\":5,\"bEndpointAddress\":129,\"bInterval\":0,\"bLength\":7,\"bmAttributes\":2,\"wMaxPacketSize\":512},"
      "{\"bDescriptorType\":5,\"bEndpointAddress\":2,\"bInterval\":0,\"bLength\":7,\"bmAttributes\":2,\"wMaxPacketSize\":512}],"
      "\"bAlternateSetting\":0,\"bDescriptorType\":4,\"bInterfaceClass\":8,\"bInterfaceNumber\":0,\"bInterfaceProtocol\":80,"
      "\"bInterfaceSubClass\":6,\"bLength\":9,\"bNumEndpoints\":2,\"iInterface\":0}],"
      "\"MaxPower\":50,\"bConfigurationValue\":1,\"bDescriptorType\":2,\"bLength\":9,\"bNumInterfaces\":1,"
      "\"bmAttributes\":128,\"iConfiguration\":0,\"wTotalLength\":32}",
      TextOf(configuration.ToJsonHolder()));
}

TEST(UsbDescriptors, StringMembersAppearOnlyForANonZeroIndex) {
  UsbConfigurationDescriptor configuration = ConfigurationOf(kStick);
  configuration.iConfiguration = 4;  // named but not read: the member is there, empty
  configuration.Interfaces[0].iInterface = 5;
  configuration.Interfaces[0].Interface = u"Bulk";
  const std::string text = TextOf(configuration.ToJsonHolder());
  EXPECT_EQ(0u, text.find("{\"Configuration\":\"\",\"Interfaces\":[{\"EndPoints\":"));
  EXPECT_NE(std::string::npos, text.find("],\"Interface\":\"Bulk\",\"bAlternateSetting\""));
}

// Configurations that lie: each row is a whole descriptor and what the walk makes of it.
TEST(UsbDescriptors, LyingConfigurationsGiveTheInterfacesThatAreReallyThere) {
  struct Row {
    const char* what;
    Bytes bytes;
    std::string endpoints;
  };
  const Row rows[] = {
      {"wTotalLength larger than the bytes",
       {0x09, 0x02, 0xFF, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32,
        0x09, 0x04, 0x00, 0x00, 0x01, 0x08, 0x06, 0x50, 0x00,
        0x07, 0x05, 0x81, 0x02, 0x00, 0x02, 0x00},
       "129,"},
      {"wTotalLength shorter than the bytes: the endpoint after it is not read",
       {0x09, 0x02, 0x12, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32,
        0x09, 0x04, 0x00, 0x00, 0x01, 0x08, 0x06, 0x50, 0x00,
        0x07, 0x05, 0x81, 0x02, 0x00, 0x02, 0x00},
       ","},
      {"wTotalLength below the header",
       {0x09, 0x02, 0x04, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32,
        0x09, 0x04, 0x00, 0x00, 0x01, 0x08, 0x06, 0x50, 0x00},
       ""},
      {"bLength 0 ends the walk",
       {0x09, 0x02, 0x20, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32,
        0x09, 0x04, 0x00, 0x00, 0x02, 0x08, 0x06, 0x50, 0x00,
        0x07, 0x05, 0x81, 0x02, 0x00, 0x02, 0x00,
        0x00, 0x05, 0x02, 0x02, 0x00, 0x02, 0x00},
       "129,"},
      {"bLength 1 ends the walk",
       {0x09, 0x02, 0x20, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32,
        0x09, 0x04, 0x00, 0x00, 0x02, 0x08, 0x06, 0x50, 0x00,
        0x01, 0x05, 0x81, 0x02, 0x00, 0x02, 0x00,
        0x07, 0x05, 0x02, 0x02, 0x00, 0x02, 0x00},
       ","},
      {"a descriptor running past the end ends the walk",
       {0x09, 0x02, 0x20, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32,
        0x09, 0x04, 0x00, 0x00, 0x02, 0x08, 0x06, 0x50, 0x00,
        0x07, 0x05, 0x81, 0x02, 0x00, 0x02, 0x00,
        0x09, 0x05, 0x02, 0x02, 0x00, 0x02, 0x00},
       "129,"},
      {"bNumInterfaces 3 and bNumEndpoints 4 with one interface and one endpoint",
       {0x09, 0x02, 0x19, 0x00, 0x03, 0x01, 0x00, 0x80, 0x32,
        0x09, 0x04, 0x00, 0x00, 0x04, 0x08, 0x06, 0x50, 0x00,
        0x07, 0x05, 0x81, 0x02, 0x00, 0x02, 0x00},
       "129,"},
      {"an endpoint before any interface belongs to none",
       {0x09, 0x02, 0x19, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32,
        0x07, 0x05, 0x83, 0x02, 0x00, 0x02, 0x00,
        0x09, 0x04, 0x00, 0x00, 0x00, 0x08, 0x06, 0x50, 0x00},
       ","},
      {"interface association and class-specific descriptors are passed over",
       {0x09, 0x02, 0x2F, 0x00, 0x02, 0x01, 0x00, 0x80, 0x32,
        0x08, 0x0B, 0x00, 0x02, 0x02, 0x02, 0x01, 0x00,  // interface association
        0x09, 0x04, 0x00, 0x00, 0x01, 0x02, 0x02, 0x01, 0x00,
        0x05, 0x24, 0x00, 0x10, 0x01,  // CDC header
        0x07, 0x05, 0x83, 0x03, 0x10, 0x00, 0x10,
        0x09, 0x04, 0x01, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x00},
       "131,,"},
      {"an alternate setting is an interface record of its own",
       {0x09, 0x02, 0x22, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32,
        0x09, 0x04, 0x01, 0x00, 0x00, 0x01, 0x02, 0x00, 0x00,
        0x09, 0x04, 0x01, 0x01, 0x01, 0x01, 0x02, 0x00, 0x00,
        0x07, 0x05, 0x01, 0x05, 0xC0, 0x00, 0x01},
       ",1,"},
      {"a short endpoint descriptor reads its missing fields as 0",
       {0x09, 0x02, 0x16, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32,
        0x09, 0x04, 0x00, 0x00, 0x01, 0x08, 0x06, 0x50, 0x00,
        0x04, 0x05, 0x81, 0x02},
       "129,"},
      {"only a header, shorter than itself", {0x09, 0x02, 0x20}, ""},
  };
  for (const Row& row : rows) {
    const UsbConfigurationDescriptor configuration = ConfigurationOf(row.bytes);
    EXPECT_EQ(row.endpoints, EndpointsOf(configuration)) << row.what;
    // Whatever the bytes, the record writes a document.
    EXPECT_EQ('{', TextOf(configuration.ToJsonHolder()).front()) << row.what;
  }
}

TEST(UsbDescriptors, ShortEndpointAndHeaderFieldsAreZeroAndDescriptorFieldsStayAsGiven) {
  const UsbConfigurationDescriptor shortEndpoint = ConfigurationOf(
      {0x09, 0x02, 0x16, 0x00, 0x03, 0x01, 0x00, 0x80, 0x32, 0x09, 0x04, 0x00, 0x00, 0x04, 0x08, 0x06, 0x50, 0x00,
       0x04, 0x05, 0x81, 0x02});
  EXPECT_EQ(3, shortEndpoint.bNumInterfaces);  // as the device says, though one interface is there
  EXPECT_EQ(4, shortEndpoint.Interfaces[0].bNumEndpoints);
  const UsbEndpointDescriptor& endpoint = shortEndpoint.Interfaces[0].EndPoints[0];
  EXPECT_EQ(4, endpoint.bLength);
  EXPECT_EQ(2, endpoint.bmAttributes);
  EXPECT_EQ(0, endpoint.wMaxPacketSize);
  EXPECT_EQ(0, endpoint.bInterval);

  const UsbConfigurationDescriptor header = ConfigurationOf({0x09, 0x02, 0x20});
  EXPECT_EQ(32, header.wTotalLength);
  EXPECT_EQ(0, header.bNumInterfaces);
  EXPECT_EQ(0, header.MaxPower);
}

TEST(UsbDescriptors, DeviceDescriptorFieldsAndJsonOrder) {
  const Bytes device = {0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40, 0x34, 0x12,
                        0x78, 0x56, 0x01, 0x03, 0x01, 0x02, 0x00, 0x01};
  UsbDeviceDescriptor descriptor;
  descriptor.assign_fields(device);
  EXPECT_EQ(0x1234, descriptor.idVendor);
  EXPECT_EQ(0x5678, descriptor.idProduct);
  EXPECT_EQ(0x0301, descriptor.bcdDevice);
  EXPECT_EQ(0x0200, descriptor.bcdUSB);
  descriptor.Manufacturer = u"Maker";
  descriptor.SerialNumber = u"ignored: its index is 0";
  EXPECT_EQ(
      "{\"Configurations\":[],\"Manufacturer\":\"Maker\",\"Product\":\"\",\"bDescriptorType\":1,\"bDeviceClass\":0,"
      "\"bDeviceProtocol\":0,\"bDeviceSubClass\":0,\"bLength\":18,\"bMaxPacketSize0\":64,\"bNumConfigurations\":1,"
      "\"bcdDevice\":769,\"bcdUSB\":512,\"iManufacturer\":1,\"iProduct\":2,\"iSerialNumber\":0,\"idProduct\":22136,"
      "\"idVendor\":4660}",
      TextOf(descriptor.ToJsonHolder()));
}

TEST(UsbDescriptors, ConnectionRecordFromRawBytes) {
  Bytes raw(35 + 2 * 11, 0);
  raw[0] = 2;                                              // port 2
  const Bytes device = {0x12, 0x01, 0x10, 0x01, 0x09, 0x00, 0x01, 0x40, 0x11, 0x11,
                        0x22, 0x22, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01};
  std::copy(device.begin(), device.end(), raw.begin() + 4);
  raw[22] = 1;                                             // configuration value
  raw[23] = 2;                                             // high speed
  raw[24] = 1;                                             // a hub
  raw[25] = 0x05, raw[26] = 0x01;                          // address 261
  raw[27] = 5;                                             // five pipes reported, two present
  raw[31] = 1;                                             // connected
  const Bytes pipe = {0x07, 0x05, 0x81, 0x03, 0x01, 0x00, 0x0C, 0x78, 0x56, 0x34, 0x12};
  std::copy(pipe.begin(), pipe.end(), raw.begin() + 35);
  UsbNodeConnectionInformationEx connection;
  const RawBytes bytes(raw);
  connection.assign_fields(bytes.first(35), bytes.subspan(35));
  ASSERT_EQ(2u, connection.PipeList.size());
  EXPECT_EQ(0x12345678u, connection.PipeList[0].ScheduleOffset);
  EXPECT_EQ(
      "{\"ConnectionIndex\":2,\"ConnectionStatus\":\"DeviceConnected\",\"CurrentConfigurationValue\":1,"
      "\"DeviceAddress\":261,\"DeviceDescriptor\":{\"Configurations\":[],\"bDescriptorType\":1,\"bDeviceClass\":9,"
      "\"bDeviceProtocol\":1,\"bDeviceSubClass\":0,\"bLength\":18,\"bMaxPacketSize0\":64,\"bNumConfigurations\":1,"
      "\"bcdDevice\":256,\"bcdUSB\":272,\"iManufacturer\":0,\"iProduct\":0,\"iSerialNumber\":0,\"idProduct\":8738,"
      "\"idVendor\":4369},\"DeviceIsHub\":1,\"NumberOfOpenPipes\":5,\"PipeList\":["
      "{\"EndpointDescriptor\":{\"bDescriptorType\":5,\"bEndpointAddress\":129,\"bInterval\":12,\"bLength\":7,"
      "\"bmAttributes\":3,\"wMaxPacketSize\":1},\"ScheduleOffset\":3.0542E+008},"
      "{\"EndpointDescriptor\":{\"bDescriptorType\":0,\"bEndpointAddress\":0,\"bInterval\":0,\"bLength\":0,"
      "\"bmAttributes\":0,\"wMaxPacketSize\":0},\"ScheduleOffset\":0}],\"Speed\":2}",
      TextOf(connection.ToJsonHolder()));
}

TEST(UsbDescriptors, ConnectionStatusNames) {
  const std::pair<std::uint32_t, const char16_t*> rows[] = {
      {0, u"NoDeviceConnected"},        {1, u"DeviceConnected"},          {5, u"DeviceNotEnoughPower"},
      {7, u"DeviceHubNestedTooDeeply"}, {10, u"DeviceReset"},             {11, u"<* Unknown Connection Status *>"},
      {0xFFFFFFFF, u"<* Unknown Connection Status *>"}};
  for (const auto& [status, name] : rows) EXPECT_EQ(std::u16string(name), ConnectionStatusNameW(status)) << status;
}
