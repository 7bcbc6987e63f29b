#include "library/usb/setup_manager.h"

#include <algorithm>
#include <vector>

#include "library/usb/raw_bytes.h"

namespace VostUsbWardenManager {

namespace {

constexpr DWORD kAlreadyOpen = 548;
constexpr DWORD kNotOpen = 6815;
constexpr DWORD kInsufficientBuffer = 122;
constexpr DWORD kNoMoreItems = 259;
constexpr DWORD kInternalError = 1359;
constexpr DWORD kDetailHeader = 8;  // the detail record's own size on x64
constexpr std::size_t kPathOffset = 4;

}  // namespace

DWORD SetupManager::OpenForClass(const GUID* ClassGuid, std::u16string& status_text, DWORD flags) {
  if (set_) {
    status_text = u"SetupManager::OpenForClass() uchwyt jest już otwarty";
    return kAlreadyOpen;
  }
  set_.reset(os::SetupDiGetClassDevsW(ClassGuid, nullptr, nullptr, flags));
  if (set_) return 0;
  const DWORD code = os::GetLastError();
  if (code != 0) status_text = u"SetupManager::OpenForClass() nieudane";
  return code;
}

DWORD SetupManager::EnumDeviceInterfacesDetails(const GUID* InterfaceClassGuid, std::list<SetupFullDetails>& sfd,
                                                std::u16string& status_text) {
  if (!set_) {
    status_text = u"SetupManager::EnumDeviceInterfacesDetails() uchwyt nie jest otwarty";
    return kNotOpen;
  }
  std::list<SetupFullDetails> found;
  for (DWORD i = 0;; ++i) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    SP_DEVICE_INTERFACE_DATA interface{};
    interface.cbSize = sizeof interface;
    if (!os::SetupDiEnumDeviceInfo(set_.get(), i, &device) ||
        !os::SetupDiEnumDeviceInterfaces(set_.get(), nullptr, InterfaceClassGuid, i, &interface)) {
      const DWORD code = os::GetLastError();
      if (code != kNoMoreItems) return code;
      sfd = std::move(found);
      return 0;
    }
    DWORD required = 0;
    if (os::SetupDiGetDeviceInterfaceDetailW(set_.get(), &interface, nullptr, 0, &required, nullptr)) {
      return kInternalError;
    }
    if (const DWORD code = os::GetLastError(); code != kInsufficientBuffer) return code != 0 ? code : kInternalError;
    // The buffer holds at least the record itself, whatever size was reported.
    std::vector<std::uint8_t> buffer(std::max<DWORD>(required, kDetailHeader + 2), 0);
    auto* detail = reinterpret_cast<os::SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = kDetailHeader;
    if (!os::SetupDiGetDeviceInterfaceDetailW(set_.get(), &interface, detail, static_cast<DWORD>(buffer.size()),
                                              nullptr, nullptr)) {
      return os::GetLastError();
    }
    SetupFullDetails entry;
    entry.ClassGuid = device.ClassGuid;
    entry.DevInst = device.DevInst;
    entry.DevicePath = utf16_up_to_nul(bytes_from(RawBytes(buffer), kPathOffset));
    entry.Flags = interface.Flags;
    entry.InterfaceClassGuid = interface.InterfaceClassGuid;
    entry.Index = i;
    found.push_back(std::move(entry));
  }
}

DWORD SetupManager::Close() {
  if (!set_) return kNotOpen;
  if (!os::SetupDiDestroyDeviceInfoList(set_.get())) return os::GetLastError();
  set_.release();
  return 0;
}

}  // namespace VostUsbWardenManager
