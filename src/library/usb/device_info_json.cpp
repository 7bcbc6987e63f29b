#include "library/usb/device_info_json.h"

#include <vector>

#include "library/usb/json_members.h"
#include "library/usb/raw_bytes.h"

namespace VostUsbWardenManager {

namespace {

struct PropertyToRead {
  DWORD code;
  const char16_t* name;
};

// The order in which the properties are read; the document sorts them by name.
constexpr PropertyToRead kProperties[] = {
    {2, u"HardwareID"},         {22, u"BusNumber"},       {20, u"BusTypeGuid"},
    {9, u"ClassGuid"},          {8, u"ClassName"},        {3, u"CompatibleIDs"},
    {1, u"DeviceDescription"},  {10, u"DriverKeyName"},   {23, u"EnumeratorName"},
    {13, u"FriendlyName"},      {35, u"InstallState"},    {21, u"LegacyBusType"},
    {14, u"LocationInformation"}, {12, u"Manufacturer"},  {15, u"PhysicalDeviceObjectName"},
    {32, u"RemovalPolicy"},     {17, u"UINumber"}};

enum class Shape { Text, MultiText, Number, Guid, InterfaceType, RemovalPolicy, InstallState, None };

Shape shape_of(DWORD prop) {
  switch (prop) {
    case 1: case 5: case 8: case 9: case 10: case 12: case 13: case 14: case 15: case 23: case 30: case 37:
      return Shape::Text;
    case 2: case 3: case 18: case 19: case 36:
      return Shape::MultiText;
    case 11: case 16: case 17: case 22: case 29:
      return Shape::Number;
    case 20:
      return Shape::Guid;
    case 21:
      return Shape::InterfaceType;
    case 32: case 33: case 34:
      return Shape::RemovalPolicy;
    case 35:
      return Shape::InstallState;
    default:
      return Shape::None;
  }
}

// The NUL-separated parts of a multi-string, up to the empty part that ends it.
JsonHolder multi_text(RawBytes value) {
  JsonHolder parts = JsonHolder::CreateArray();
  std::size_t at = 0;
  while (at + 1 < value.size()) {
    const std::u16string part = utf16_up_to_nul(value.subspan(at));
    if (part.empty()) break;
    add_element(parts, JsonHolder(part));
    at += 2 * (part.size() + 1);
  }
  return parts;
}

JsonHolder guid_object(RawBytes value) {
  JsonHolder guid = JsonHolder::CreateObject();
  add_number(guid, u"Data1", dword_at(value, 0));
  add_number(guid, u"Data2", word_at(value, 4));
  add_number(guid, u"Data3", word_at(value, 6));
  JsonHolder data4 = JsonHolder::CreateArray();
  for (std::size_t i = 8; i < 16; ++i) add_element(data4, JsonHolder(static_cast<double>(byte_at(value, i))));
  add_member(guid, u"Data4", std::move(data4));
  return guid;
}

// Adds `name` under `propName` unless the name is to be left out (null).
DWORD add_name(JsonHolder& jhObj, const char16_t* propName, const char16_t* name, JsonHolder*& addedJSON) {
  addedJSON = name != nullptr ? add_member(jhObj, propName, JsonHolder(name)) : nullptr;
  return 0;
}

}  // namespace

DWORD DeviceInfoJson::AddDEVICE_INSTALL_STATEObject(JsonHolder& jhObj, const char16_t* propName, DWORD wartosc,
                                                    JsonHolder*& addedJSON, std::u16string&) {
  static constexpr const char16_t* kNames[] = {u"InstallStateInstalled", u"InstallStateNeedsReinstall",
                                               u"InstallStateFailedInstall", u"InstallStateFinishInstall"};
  return add_name(jhObj, propName, wartosc < std::size(kNames) ? kNames[wartosc] : nullptr, addedJSON);
}

DWORD DeviceInfoJson::AddINTERFACE_TYPEObject(JsonHolder& jhObj, const char16_t* propName, DWORD wartosc,
                                              JsonHolder*& addedJSON, std::u16string&) {
  const char16_t* name = DevNode::InterfaceTypeName(static_cast<int>(wartosc));
  return add_name(jhObj, propName, name[0] != u'<' ? name : nullptr, addedJSON);
}

DWORD DeviceInfoJson::AddDEVICE_REMOVAL_POLICYObject(JsonHolder& jhObj, const char16_t* propName, DWORD wartosc,
                                                     JsonHolder*& addedJSON, std::u16string&) {
  static constexpr const char16_t* kNames[] = {nullptr, u"RemovalPolicyExpectNoRemoval",
                                               u"RemovalPolicyExpectOrderlyRemoval",
                                               u"RemovalPolicyExpectSurpriseRemoval"};
  return add_name(jhObj, propName, wartosc < std::size(kNames) ? kNames[wartosc] : nullptr, addedJSON);
}

DWORD DeviceInfoJson::ReadDeviceProperty(DWORD inst, DWORD prop, const char16_t* propName, JsonHolder& jhObj,
                                         JsonHolder*& addedJSON, std::u16string& status_text) {
  addedJSON = nullptr;
  std::vector<std::uint8_t> bytes;
  if (const CONFIGRET result = DHManager::GetDeviceRegProp(inst, prop, bytes, status_text)) return result;
  const RawBytes value(bytes);
  const Shape shape = shape_of(prop);
  // Numbers and names need four bytes, a GUID sixteen; a shorter value adds nothing.
  const bool fourBytes = value.size() >= 4;
  switch (shape) {
    case Shape::Text:
      addedJSON = add_member(jhObj, propName, JsonHolder(utf16_up_to_nul(value)));
      break;
    case Shape::MultiText:
      addedJSON = add_member(jhObj, propName, multi_text(value));
      break;
    case Shape::Number:
      if (fourBytes) addedJSON = add_number(jhObj, propName, dword_at(value, 0));
      break;
    case Shape::Guid:
      if (value.size() >= 16) addedJSON = add_member(jhObj, propName, guid_object(value));
      break;
    case Shape::InterfaceType:
      if (fourBytes) AddINTERFACE_TYPEObject(jhObj, propName, dword_at(value, 0), addedJSON, status_text);
      break;
    case Shape::RemovalPolicy:
      if (fourBytes) AddDEVICE_REMOVAL_POLICYObject(jhObj, propName, dword_at(value, 0), addedJSON, status_text);
      break;
    case Shape::InstallState:
      if (fourBytes) AddDEVICE_INSTALL_STATEObject(jhObj, propName, dword_at(value, 0), addedJSON, status_text);
      break;
    case Shape::None:
      break;
  }
  return 0;
}

DWORD DeviceInfoJson::AppendRestProps(DWORD inst, JsonHolder& props, std::u16string& status_text) {
  for (const PropertyToRead& property : kProperties) {
    JsonHolder* added = nullptr;
    ReadDeviceProperty(inst, property.code, property.name, props, added, status_text);
  }
  return 0;
}

DWORD DeviceInfoJson::AppendDescriptorsDataList(const UsbNodeConnectionInformationEx& connInfo, JsonHolder& jhObj,
                                                std::u16string&) {
  add_member(jhObj, u"ConnectionInformation", connInfo.ToJsonHolder());
  add_member(jhObj, u"DeviceDescriptor", connInfo.DeviceDescriptor.ToJsonHolder());
  return 0;
}

DWORD DeviceInfoJson::MakeInfo(int port, const UsbNodeConnectionInformationEx& connInfo, bool isUsbHub,
                               const VolumesMap& volsMap, std::u16string& status_text) {
  document_ = JsonHolder::CreateObject();
  JsonHolder* props = add_member(document_, u"DeviceProperty", JsonHolder::CreateObject());
  AppendRestProps(connInfo.DevInst, *props, status_text);
  AppendDescriptorsDataList(connInfo, document_, status_text);
  add_number(document_, u"PortNumberOfBus", static_cast<unsigned long>(port));
  add_member(document_, u"IsHub", JsonHolder(isUsbHub));
  add_number(document_, u"DEVINST", connInfo.DevInst);
  std::vector<std::uint8_t> objectName;
  if (const CONFIGRET result =
          DHManager::GetDeviceRegProp(connInfo.DevInst, CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME, objectName, status_text)) {
    return result;
  }
  const auto letters = volsMap.find(utf16_up_to_nul(objectName));
  add_member(document_, u"DriveLetters", JsonHolder(letters != volsMap.end() ? letters->second : std::u16string()));
  return 0;
}

}  // namespace VostUsbWardenManager
