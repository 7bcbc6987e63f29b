// Filling the descriptor records from raw bytes and writing them as JSON. Nothing here talks to
// the device: the reads through DHManager are in usb_descriptor_strings.cpp.
#include "library/usb/usb_descriptors.h"

#include "library/usb/json_members.h"

namespace VostUsbWardenManager {

namespace {

constexpr std::uint8_t kInterfaceType = 4;
constexpr std::uint8_t kEndpointType = 5;

// One interface descriptor and the endpoint descriptors found after it.
struct InterfaceBytes {
  RawBytes interface;
  std::vector<RawBytes> endpoints;
};

// Walks the descriptors of a configuration by their lengths and types (see usb_descriptors.h).
std::vector<InterfaceBytes> walk_configuration(RawBytes descs) {
  std::vector<InterfaceBytes> found;
  std::size_t at = 0;
  while (descs.size() - at >= 2) {
    const std::size_t length = descs[at];
    if (length < 2 || length > descs.size() - at) break;
    const RawBytes descriptor = descs.subspan(at, length);
    if (descriptor[1] == kInterfaceType) {
      found.push_back({descriptor, {}});
    } else if (descriptor[1] == kEndpointType && !found.empty()) {
      found.back().endpoints.push_back(descriptor);
    }
    at += length;
  }
  return found;
}

JsonHolder array_of_json(const auto& records, auto write) {
  JsonHolder array = JsonHolder::CreateArray();
  for (const auto& record : records) add_element(array, write(record));
  return array;
}

}  // namespace

UsbEndpointDescriptor::UsbEndpointDescriptor(RawBytes v)
    : bLength(byte_at(v, 0)),
      bDescriptorType(byte_at(v, 1)),
      bEndpointAddress(byte_at(v, 2)),
      bmAttributes(byte_at(v, 3)),
      wMaxPacketSize(word_at(v, 4)),
      bInterval(byte_at(v, 6)) {}

JsonHolder UsbEndpointDescriptor::ToJson() const {
  JsonHolder json = JsonHolder::CreateObject();
  add_number(json, u"bDescriptorType", bDescriptorType);
  add_number(json, u"bEndpointAddress", bEndpointAddress);
  add_number(json, u"bInterval", bInterval);
  add_number(json, u"bLength", bLength);
  add_number(json, u"bmAttributes", bmAttributes);
  add_number(json, u"wMaxPacketSize", wMaxPacketSize);
  return json;
}

UsbPipeInfo::UsbPipeInfo(RawBytes v) : EndpointDescriptor(first_bytes(v, 7)), ScheduleOffset(dword_at(v, 7)) {}

JsonHolder UsbPipeInfo::ToJson() const {
  JsonHolder json = JsonHolder::CreateObject();
  add_member(json, u"EndpointDescriptor", EndpointDescriptor.ToJson());
  add_number(json, u"ScheduleOffset", ScheduleOffset);
  return json;
}

void UsbInterfaceDescriptor::assign(RawBytes v, const std::vector<RawBytes>& endps) {
  bLength = byte_at(v, 0);
  bDescriptorType = byte_at(v, 1);
  bInterfaceNumber = byte_at(v, 2);
  bAlternateSetting = byte_at(v, 3);
  bNumEndpoints = byte_at(v, 4);
  bInterfaceClass = byte_at(v, 5);
  bInterfaceSubClass = byte_at(v, 6);
  bInterfaceProtocol = byte_at(v, 7);
  iInterface = byte_at(v, 8);
  Interface.clear();
  EndPoints.clear();
  for (const RawBytes endpoint : endps) EndPoints.emplace_back(endpoint);
}

JsonHolder UsbInterfaceDescriptor::ToJsonHolder() const {
  JsonHolder json = JsonHolder::CreateObject();
  add_member(json, u"EndPoints", array_of_json(EndPoints, [](const UsbEndpointDescriptor& e) { return e.ToJson(); }));
  if (iInterface != 0) add_member(json, u"Interface", JsonHolder(Interface));
  add_number(json, u"bAlternateSetting", bAlternateSetting);
  add_number(json, u"bDescriptorType", bDescriptorType);
  add_number(json, u"bInterfaceClass", bInterfaceClass);
  add_number(json, u"bInterfaceNumber", bInterfaceNumber);
  add_number(json, u"bInterfaceProtocol", bInterfaceProtocol);
  add_number(json, u"bInterfaceSubClass", bInterfaceSubClass);
  add_number(json, u"bLength", bLength);
  add_number(json, u"bNumEndpoints", bNumEndpoints);
  add_number(json, u"iInterface", iInterface);
  return json;
}

void UsbConfigurationDescriptor::assign(RawBytes v, RawBytes descs) {
  bLength = byte_at(v, 0);
  bDescriptorType = byte_at(v, 1);
  wTotalLength = word_at(v, 2);
  bNumInterfaces = byte_at(v, 4);
  bConfigurationValue = byte_at(v, 5);
  iConfiguration = byte_at(v, 6);
  bmAttributes = byte_at(v, 7);
  MaxPower = byte_at(v, 8);
  Configuration.clear();
  Interfaces.clear();
  const std::size_t within_total = wTotalLength > kHeaderSize ? wTotalLength - kHeaderSize : 0;
  for (const InterfaceBytes& found : walk_configuration(first_bytes(descs, within_total))) {
    Interfaces.emplace_back().assign(found.interface, found.endpoints);
  }
}

JsonHolder UsbConfigurationDescriptor::ToJsonHolder() const {
  JsonHolder json = JsonHolder::CreateObject();
  if (iConfiguration != 0) add_member(json, u"Configuration", JsonHolder(Configuration));
  add_member(json, u"Interfaces",
             array_of_json(Interfaces, [](const UsbInterfaceDescriptor& i) { return i.ToJsonHolder(); }));
  add_number(json, u"MaxPower", MaxPower);
  add_number(json, u"bConfigurationValue", bConfigurationValue);
  add_number(json, u"bDescriptorType", bDescriptorType);
  add_number(json, u"bLength", bLength);
  add_number(json, u"bNumInterfaces", bNumInterfaces);
  add_number(json, u"bmAttributes", bmAttributes);
  add_number(json, u"iConfiguration", iConfiguration);
  add_number(json, u"wTotalLength", wTotalLength);
  return json;
}

void UsbDeviceDescriptor::assign_fields(RawBytes v) {
  bLength = byte_at(v, 0);
  bDescriptorType = byte_at(v, 1);
  bcdUSB = word_at(v, 2);
  bDeviceClass = byte_at(v, 4);
  bDeviceSubClass = byte_at(v, 5);
  bDeviceProtocol = byte_at(v, 6);
  bMaxPacketSize0 = byte_at(v, 7);
  idVendor = word_at(v, 8);
  idProduct = word_at(v, 10);
  bcdDevice = word_at(v, 12);
  iManufacturer = byte_at(v, 14);
  iProduct = byte_at(v, 15);
  iSerialNumber = byte_at(v, 16);
  bNumConfigurations = byte_at(v, 17);
  Manufacturer.clear();
  Product.clear();
  SerialNumber.clear();
  Configurations.clear();
}

JsonHolder UsbDeviceDescriptor::ToJsonHolder() const {
  JsonHolder json = JsonHolder::CreateObject();
  add_member(json, u"Configurations",
             array_of_json(Configurations, [](const UsbConfigurationDescriptor& c) { return c.ToJsonHolder(); }));
  if (iManufacturer != 0) add_member(json, u"Manufacturer", JsonHolder(Manufacturer));
  if (iProduct != 0) add_member(json, u"Product", JsonHolder(Product));
  if (iSerialNumber != 0) add_member(json, u"SerialNumber", JsonHolder(SerialNumber));
  add_number(json, u"bDescriptorType", bDescriptorType);
  add_number(json, u"bDeviceClass", bDeviceClass);
  add_number(json, u"bDeviceProtocol", bDeviceProtocol);
  add_number(json, u"bDeviceSubClass", bDeviceSubClass);
  add_number(json, u"bLength", bLength);
  add_number(json, u"bMaxPacketSize0", bMaxPacketSize0);
  add_number(json, u"bNumConfigurations", bNumConfigurations);
  add_number(json, u"bcdDevice", bcdDevice);
  add_number(json, u"bcdUSB", bcdUSB);
  add_number(json, u"iManufacturer", iManufacturer);
  add_number(json, u"iProduct", iProduct);
  add_number(json, u"iSerialNumber", iSerialNumber);
  add_number(json, u"idProduct", idProduct);
  add_number(json, u"idVendor", idVendor);
  return json;
}

}  // namespace VostUsbWardenManager
