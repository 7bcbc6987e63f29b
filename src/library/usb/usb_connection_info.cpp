#include "library/usb/usb_connection_info.h"

#include <algorithm>
#include <array>

#include "library/usb/json_members.h"

namespace VostUsbWardenManager {

const char16_t* ConnectionStatusNameW(std::uint32_t st) {
  static constexpr std::array<const char16_t*, 11> kNames = {
      u"NoDeviceConnected",        u"DeviceConnected",       u"DeviceFailedEnumeration",
      u"DeviceGeneralFailure",     u"DeviceCausedOvercurrent", u"DeviceNotEnoughPower",
      u"DeviceNotEnoughBandwidth", u"DeviceHubNestedTooDeeply", u"DeviceInLegacyHub",
      u"DeviceEnumerating",        u"DeviceReset"};
  return st < kNames.size() ? kNames[st] : u"<* Unknown Connection Status *>";
}

void UsbNodeConnectionInformationEx::assign_fields(RawBytes v, RawBytes pipes) {
  ConnectionIndex = dword_at(v, 0);
  DeviceDescriptor.assign_fields(first_bytes(bytes_from(v, 4), UsbDeviceDescriptor::kSize));
  CurrentConfigurationValue = byte_at(v, 22);
  Speed = byte_at(v, 23);
  DeviceIsHub = byte_at(v, 24);
  DeviceAddress = word_at(v, 25);
  NumberOfOpenPipes = dword_at(v, 27);
  ConnectionStatus = dword_at(v, 31);
  DriverKeyName.clear();
  NodeName.clear();
  DeviceDesc.clear();
  DeviceID.clear();
  DevInst = 0;
  LocationInfo.clear();
  PipeList.clear();
  const std::size_t present = std::min<std::size_t>(NumberOfOpenPipes, pipes.size() / UsbPipeInfo::kEntrySize);
  for (std::size_t i = 0; i < present; ++i) {
    PipeList.emplace_back(pipes.subspan(i * UsbPipeInfo::kEntrySize, UsbPipeInfo::kEntrySize));
  }
}

void UsbNodeConnectionInformationEx::assign(RawBytes v, RawBytes pipes, DHManager& dhm) {
  assign_fields(v, pipes);
  DeviceDescriptor.assign(first_bytes(bytes_from(v, 4), UsbDeviceDescriptor::kSize), dhm,
                          static_cast<int>(ConnectionIndex));
}

DWORD UsbNodeConnectionInformationEx::CompleteFileInfo(const DeviceInstancesMap& mapa, DHManager& dhm,
                                                       std::u16string& status_text) {
  if (ConnectionStatus == NoDeviceConnected) return 0;
  const int port = static_cast<int>(ConnectionIndex);
  std::u16string driverKey;
  if (const DWORD code = dhm.GetConnectionDriverKeyName(port, driverKey, status_text)) return code;
  DriverKeyName = driverKey;
  if (const auto found = mapa.find(DriverKeyName); found != mapa.end()) {
    DevInst = found->second;
    std::u16string scratch;
    if (DHManager::GetDeviceDesc(DevInst, DeviceDesc, scratch) != CR_SUCCESS) DeviceDesc.clear();
    if (DHManager::GetDeviceID(DevInst, DeviceID, scratch) != CR_SUCCESS) DeviceID.clear();
    if (DHManager::GetDeviceLocation(DevInst, LocationInfo, scratch) != CR_SUCCESS) LocationInfo.clear();
  }
  dhm.GetConnectionName(port, NodeName, status_text);
  return 0;
}

DWORD UsbNodeConnectionInformationEx::CompleteStrings(DHManager& dhm) {
  const DWORD result = DeviceDescriptor.CompleteStrings(dhm, static_cast<int>(ConnectionIndex));
  std::u16string scratch;
  if (DeviceDescriptor.iSerialNumber != 0 && DeviceDescriptor.SerialNumber.empty()) {
    std::u16string id;
    if (DHManager::GetDeviceID(DevInst, id, scratch) == CR_SUCCESS) {
      const std::size_t slash = id.rfind(u'\\');
      if (slash == std::u16string::npos) {
        DeviceDescriptor.SerialNumber = id;
      } else if (slash != 0) {
        DeviceDescriptor.SerialNumber = id.substr(slash + 1);
      }
    }
  }
  if (DeviceDescriptor.iManufacturer != 0 && DeviceDescriptor.Manufacturer.empty()) {
    std::u16string manufacturer;
    if (DHManager::GetDeviceRegProp(DevInst, CM_DRP_MFG, manufacturer, scratch) == CR_SUCCESS) {
      DeviceDescriptor.Manufacturer = manufacturer;
    }
  }
  return result;
}

JsonHolder UsbNodeConnectionInformationEx::ToJsonHolder() const {
  JsonHolder json = JsonHolder::CreateObject();
  add_number(json, u"ConnectionIndex", ConnectionIndex);
  add_member(json, u"ConnectionStatus", JsonHolder(ConnectionStatusNameW(ConnectionStatus)));
  add_number(json, u"CurrentConfigurationValue", CurrentConfigurationValue);
  add_number(json, u"DeviceAddress", DeviceAddress);
  add_member(json, u"DeviceDescriptor", DeviceDescriptor.ToJsonHolder());
  add_number(json, u"DeviceIsHub", DeviceIsHub != 0 ? 1 : 0);
  add_number(json, u"NumberOfOpenPipes", NumberOfOpenPipes);
  JsonHolder pipes = JsonHolder::CreateArray();
  for (const UsbPipeInfo& pipe : PipeList) add_element(pipes, pipe.ToJson());
  add_member(json, u"PipeList", std::move(pipes));
  add_number(json, u"Speed", Speed);
  return json;
}

}  // namespace VostUsbWardenManager
