// The USB descriptor records of one device: device descriptor -> configurations -> interfaces ->
// endpoints, filled from the raw descriptors the device returns and written as the library's JSON
// objects. The connection record of a hub port (usb_connection_info.h) owns the device descriptor.
//
// A configuration's descriptors are walked by their own lengths and types: an interface
// descriptor starts an interface record, the endpoint descriptors after it are its endpoints, and
// anything else (HID, class-specific, interface association descriptors) is passed over. The walk
// never leaves the configuration's wTotalLength nor the bytes returned, and a descriptor of length
// 0 or 1, or one that runs past the end, ends it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "library/json/json_holder.h"
#include "library/usb/raw_bytes.h"

namespace VostUsbWardenManager {

class DHManager;

class UsbEndpointDescriptor {
 public:
  UsbEndpointDescriptor() = default;
  // From a raw endpoint descriptor; fields past the end of `v` are 0.
  explicit UsbEndpointDescriptor(RawBytes v);
  virtual ~UsbEndpointDescriptor() = default;
  UsbEndpointDescriptor(const UsbEndpointDescriptor&) = default;
  UsbEndpointDescriptor& operator=(const UsbEndpointDescriptor&) = default;

  JsonHolder ToJson() const;

  std::uint8_t bLength = 0;
  std::uint8_t bDescriptorType = 0;
  std::uint8_t bEndpointAddress = 0;
  std::uint8_t bmAttributes = 0;
  std::uint16_t wMaxPacketSize = 0;
  std::uint8_t bInterval = 0;
};

class UsbPipeInfo {
 public:
  static constexpr std::size_t kEntrySize = 11;

  UsbPipeInfo() = default;
  // From an 11-byte pipe entry: the endpoint descriptor, then the 32-bit schedule offset.
  explicit UsbPipeInfo(RawBytes v);
  virtual ~UsbPipeInfo() = default;
  UsbPipeInfo(const UsbPipeInfo&) = default;
  UsbPipeInfo& operator=(const UsbPipeInfo&) = default;

  JsonHolder ToJson() const;

  UsbEndpointDescriptor EndpointDescriptor;
  std::uint32_t ScheduleOffset = 0;
};

class UsbInterfaceDescriptor {
 public:
  UsbInterfaceDescriptor() = default;
  virtual ~UsbInterfaceDescriptor() = default;
  UsbInterfaceDescriptor(const UsbInterfaceDescriptor&) = default;
  UsbInterfaceDescriptor& operator=(const UsbInterfaceDescriptor&) = default;

  // The nine fields from the interface descriptor `v`, one endpoint record per descriptor of
  // `endps`; Interface becomes empty.
  void assign(RawBytes v, const std::vector<RawBytes>& endps);
  // Interface from string descriptor iInterface; 0, or the code of the failed read.
  std::uint32_t CompleteStrings(DHManager& dhm, int portNum);
  JsonHolder ToJsonHolder() const;

  std::uint8_t bLength = 0;
  std::uint8_t bDescriptorType = 0;
  std::uint8_t bInterfaceNumber = 0;
  std::uint8_t bAlternateSetting = 0;
  std::uint8_t bNumEndpoints = 0;
  std::uint8_t bInterfaceClass = 0;
  std::uint8_t bInterfaceSubClass = 0;
  std::uint8_t bInterfaceProtocol = 0;
  std::uint8_t iInterface = 0;
  std::u16string Interface;
  std::vector<UsbEndpointDescriptor> EndPoints;
};

class UsbConfigurationDescriptor {
 public:
  static constexpr std::size_t kHeaderSize = 9;

  UsbConfigurationDescriptor() = default;
  virtual ~UsbConfigurationDescriptor() = default;
  UsbConfigurationDescriptor(const UsbConfigurationDescriptor&) = default;
  UsbConfigurationDescriptor& operator=(const UsbConfigurationDescriptor&) = default;

  // The eight fields from the 9-byte header `v`; the interfaces from the descriptors that follow
  // it, `descs`, walked within wTotalLength; Configuration becomes empty.
  void assign(RawBytes v, RawBytes descs);
  // Completes every interface, then Configuration from iConfiguration. The last interface's code
  // when it is not 0, otherwise that of the configuration string.
  std::uint32_t CompleteStrings(DHManager& dhm, int portNum);
  JsonHolder ToJsonHolder() const;

  std::uint8_t bLength = 0;
  std::uint8_t bDescriptorType = 0;
  std::uint16_t wTotalLength = 0;
  std::uint8_t bNumInterfaces = 0;
  std::uint8_t bConfigurationValue = 0;
  std::uint8_t iConfiguration = 0;
  std::uint8_t bmAttributes = 0;
  std::uint8_t MaxPower = 0;
  std::u16string Configuration;
  std::vector<UsbInterfaceDescriptor> Interfaces;
};

class UsbDeviceDescriptor {
 public:
  static constexpr std::size_t kSize = 18;

  UsbDeviceDescriptor() = default;
  virtual ~UsbDeviceDescriptor() = default;
  UsbDeviceDescriptor(const UsbDeviceDescriptor&) = default;
  UsbDeviceDescriptor& operator=(const UsbDeviceDescriptor&) = default;

  // The fourteen fields from the 18-byte device descriptor `v`; the texts become empty; the
  // configurations are read through `dhm` from the device on `port`, index by index, up to the
  // first one that cannot be read.
  void assign(RawBytes v, DHManager& dhm, int port);
  // The fields alone, without reading configurations.
  void assign_fields(RawBytes v);
  // Completes the configurations, then Manufacturer, Product and SerialNumber. The first non-zero
  // code among the configurations' and the three strings'.
  std::uint32_t CompleteStrings(DHManager& dhm, int portNum);
  JsonHolder ToJsonHolder() const;

  std::uint8_t bLength = 0;
  std::uint8_t bDescriptorType = 0;
  std::uint16_t bcdUSB = 0;
  std::uint8_t bDeviceClass = 0;
  std::uint8_t bDeviceSubClass = 0;
  std::uint8_t bDeviceProtocol = 0;
  std::uint8_t bMaxPacketSize0 = 0;
  std::uint16_t idVendor = 0;
  std::uint16_t idProduct = 0;
  std::uint16_t bcdDevice = 0;
  std::uint8_t iManufacturer = 0;
  std::uint8_t iProduct = 0;
  std::uint8_t iSerialNumber = 0;
  std::uint8_t bNumConfigurations = 0;
  std::u16string Manufacturer;
  std::u16string Product;
  std::u16string SerialNumber;
  std::vector<UsbConfigurationDescriptor> Configurations;
};

}  // namespace VostUsbWardenManager
