#include "library/usb/dev_node.h"

#include <array>
#include <list>
#include <vector>

#include "library/usb/dh_manager.h"
#include "library/usb/raw_bytes.h"
#include "library/usb/setup_manager.h"
#include "text/format.h"

namespace VostUsbWardenManager {

namespace {

constexpr DWORD kReadAccess = GENERIC_READ;
constexpr DWORD kShareAll = 7;  // read, write and delete
constexpr DWORD kPresentInterfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;

using LettersByDisk = std::map<DevNum, std::u16string>;

// The storage device number of the volume or disk at `path`.
bool read_device_number(const std::u16string& path, DevNum& number) {
  DHManager device;
  std::u16string message;
  if (device.Open(path.c_str(), message, kReadAccess, kShareAll) != 0) return false;
  STORAGE_DEVICE_NUMBER sdn{};
  if (device.GetStorageDeviceNumber(sdn, message) != 0) return false;
  number = {sdn.DeviceType, sdn.DeviceNumber};
  return true;
}

LettersByDisk letters_by_disk() {
  LettersByDisk letters;
  for (char16_t c = u'A'; c <= u'Z'; ++c) {
    DevNum number;
    // The volume name, as "\\.\%c:%c" formats it with a NUL at the end.
    const std::u16string volume = text::format(u"\\\\.\\%c:", c);
    if (read_device_number(volume, number)) letters[number].push_back(c);
  }
  return letters;
}

// The physical device object name of the parent of `devInst`, or "" when it cannot be read.
std::u16string parent_object_name(DWORD devInst) {
  DEVINST parent = 0;
  if (os::CM_Get_Parent(&parent, devInst, 0) != CR_SUCCESS) return {};
  std::vector<std::uint8_t> value;
  std::u16string message;
  if (DHManager::GetDeviceRegProp(parent, CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME, value, message) != CR_SUCCESS) {
    return {};
  }
  return utf16_up_to_nul(value);
}

}  // namespace

DWORD DevNode::GetVolumesInfo(VolumesMap& volsMap, std::u16string& status_text) {
  const LettersByDisk letters = letters_by_disk();
  std::list<SetupFullDetails> disks;
  {
    SetupManager set;
    if (const DWORD code = set.OpenForClass(&GUID_DEVINTERFACE_DISK, status_text, kPresentInterfaces)) return code;
    if (const DWORD code = set.EnumDeviceInterfacesDetails(&GUID_DEVINTERFACE_DISK, disks, status_text)) return code;
    set.Close();
  }
  VolumesMap found;
  for (const SetupFullDetails& disk : disks) {
    const std::u16string parent = parent_object_name(disk.DevInst);
    if (parent.empty()) continue;
    DevNum number;
    if (!read_device_number(disk.DevicePath, number)) continue;
    if (const auto at = letters.find(number); at != letters.end()) found[parent] += at->second;
  }
  volsMap = std::move(found);
  return 0;
}

const char16_t* DevNode::InterfaceTypeName(int typ) {
  static constexpr std::array<const char16_t*, 19> kNames = {
      u"InterfaceTypeUndefined", u"Internal",         u"Isa",          u"Eisa",
      u"MicroChannel",           u"TurboChannel",     u"PCIBus",       u"VMEBus",
      u"NuBus",                  u"PCMCIABus",        u"CBus",         u"MPIBus",
      u"MPSABus",                u"ProcessorInternal", u"InternalPowerBus", u"PNPISABus",
      u"PNPBus",                 u"Vmcs",             u"MaximumInterfaceType"};
  const long long at = static_cast<long long>(typ) + 1;
  return at >= 0 && at < static_cast<long long>(kNames.size()) ? kNames[static_cast<std::size_t>(at)]
                                                                 : u"<*UnknownInterfaceType*>";
}

}  // namespace VostUsbWardenManager
