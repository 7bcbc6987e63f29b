// The parts of the descriptor records that ask the device: configurations and string descriptors,
// read through the DHManager open on the device's hub.
#include "library/usb/dh_manager.h"
#include "library/usb/usb_descriptors.h"

namespace VostUsbWardenManager {

namespace {

// Reads string `index` into `text` unless the index is 0 (then the text is emptied).
DWORD complete_string(DHManager& dhm, int portNum, std::uint8_t index, std::u16string& text) {
  if (index == 0) {
    text.clear();
    return 0;
  }
  std::u16string message;
  return dhm.GetConnectionStringDescriptor(portNum, index, text, message);
}

}  // namespace

std::uint32_t UsbInterfaceDescriptor::CompleteStrings(DHManager& dhm, int portNum) {
  return complete_string(dhm, portNum, iInterface, Interface);
}

std::uint32_t UsbConfigurationDescriptor::CompleteStrings(DHManager& dhm, int portNum) {
  DWORD last_interface = 0;
  for (UsbInterfaceDescriptor& interface : Interfaces) last_interface = interface.CompleteStrings(dhm, portNum);
  const DWORD configuration = complete_string(dhm, portNum, iConfiguration, Configuration);
  return last_interface != 0 ? last_interface : configuration;
}

void UsbDeviceDescriptor::assign(RawBytes v, DHManager& dhm, int port) {
  assign_fields(v);
  for (int index = 0; index < bNumConfigurations; ++index) {
    UsbConfigurationDescriptor configuration;
    std::u16string message;
    if (dhm.GetConnectionConfigDescriptor(port, index, configuration, message) != 0) break;
    Configurations.push_back(std::move(configuration));
  }
}

std::uint32_t UsbDeviceDescriptor::CompleteStrings(DHManager& dhm, int portNum) {
  DWORD configurations = 0;
  for (UsbConfigurationDescriptor& configuration : Configurations) {
    if (const DWORD code = configuration.CompleteStrings(dhm, portNum)) configurations = code;
  }
  const DWORD codes[] = {configurations, complete_string(dhm, portNum, iManufacturer, Manufacturer),
                         complete_string(dhm, portNum, iProduct, Product),
                         complete_string(dhm, portNum, iSerialNumber, SerialNumber)};
  for (const DWORD code : codes) {
    if (code != 0) return code;
  }
  return 0;
}

}  // namespace VostUsbWardenManager
