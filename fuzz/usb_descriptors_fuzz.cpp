// The USB descriptor records on any bytes a device could return: the first 18 bytes are taken as
// the device descriptor and as the head of a hub's connection information, the rest as a whole
// configuration descriptor (header first) and as the pipe entries. Nothing may crash or read
// outside the input, and:
// - the configuration walk yields only interface descriptors holding only endpoint descriptors,
//   all inside wTotalLength and the bytes given;
// - every record, and the descriptor part of a device document written from the connection record,
//   writes a document that the library's reader takes back unchanged.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "library/json/json_parser.h"
#include "library/usb/device_info_json.h"
#include "library/usb/usb_connection_info.h"
#include "library/usb/usb_descriptors.h"

using namespace VostUsbWardenManager;

namespace {

void check_round_trip(const JsonHolder& json) {
  const std::u16string written = json.ToString();
  JsonHolder again;
  std::u16string status;
  if (!ParseCodeUnits(written, again, status) || again.ToString() != written) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const RawBytes input(data, size);
  const RawBytes head = first_bytes(input, UsbDeviceDescriptor::kSize);
  const RawBytes rest = bytes_from(input, UsbDeviceDescriptor::kSize);

  UsbConfigurationDescriptor configuration;
  configuration.assign(first_bytes(rest, UsbConfigurationDescriptor::kHeaderSize),
                       bytes_from(rest, UsbConfigurationDescriptor::kHeaderSize));
  const std::size_t walked = rest.size() < UsbConfigurationDescriptor::kHeaderSize
                                 ? 0
                                 : std::min<std::size_t>(rest.size(), configuration.wTotalLength) -
                                       std::min<std::size_t>(configuration.wTotalLength, UsbConfigurationDescriptor::kHeaderSize);
  std::size_t described = 0;
  for (const UsbInterfaceDescriptor& interface : configuration.Interfaces) {
    if (interface.bDescriptorType != 4 || interface.bLength < 2) __builtin_trap();
    described += interface.bLength;
    for (const UsbEndpointDescriptor& endpoint : interface.EndPoints) {
      if (endpoint.bDescriptorType != 5 || endpoint.bLength < 2) __builtin_trap();
      described += endpoint.bLength;
    }
  }
  if (described > walked) __builtin_trap();
  check_round_trip(configuration.ToJsonHolder());

  UsbDeviceDescriptor device;
  device.assign_fields(head);
  device.Configurations.push_back(configuration);
  check_round_trip(device.ToJsonHolder());

  UsbNodeConnectionInformationEx connection;
  connection.assign_fields(first_bytes(input, 35), bytes_from(input, 35));
  if (connection.PipeList.size() > connection.NumberOfOpenPipes ||
      connection.PipeList.size() * UsbPipeInfo::kEntrySize > bytes_from(input, 35).size()) {
    __builtin_trap();
  }
  check_round_trip(connection.ToJsonHolder());

  // The device document's "ConnectionInformation" and "DeviceDescriptor", as the device list writes
  // them for a device whose configuration is the one above.
  connection.DeviceDescriptor.Configurations.push_back(configuration);
  JsonHolder document = JsonHolder::CreateObject();
  std::u16string status;
  if (DeviceInfoJson::AppendDescriptorsDataList(connection, document, status) != 0) __builtin_trap();
  check_round_trip(document);
  return 0;
}
