#include "decision/volume_eject.h"

#include <cstdio>
#include <string>

#include "process/diagnostics.h"
#include "text/format.h"
#include "text/utf.h"

VolumeLockWait volume_lock_wait;

namespace {

constexpr DWORD kLockVolume = 0x90018;       // FSCTL_LOCK_VOLUME
constexpr DWORD kDismountVolume = 0x90020;   // FSCTL_DISMOUNT_VOLUME
constexpr DWORD kMediaRemoval = 0x2D4804;    // IOCTL_STORAGE_MEDIA_REMOVAL
constexpr DWORD kEjectMedia = 0x2D4808;      // IOCTL_STORAGE_EJECT_MEDIA

void write_standard_output(const std::u16string& message) {
  std::fputs(text::to_utf8(message).c_str(), stdout);
  std::fflush(stdout);
}

BOOL volume_request(HANDLE volume, DWORD code, void* in = nullptr, DWORD in_size = 0) {
  DWORD returned = 0;
  return os::DeviceIoControl(volume, code, in, in_size, nullptr, 0, &returned, nullptr);
}

void report_failed_step(char16_t letter, const char16_t* step) {
  const int error = static_cast<int>(os::GetLastError());
  _COUT(text::format(u"Drive %c: not ejected, %s failed, error %i.", letter, step, error));
}

}  // namespace

os::unique_hfile open_volume(char16_t letter) {
  const std::u16string root = text::format(u"%c:\\", letter);
  const UINT type = os::GetDriveTypeW(root.c_str());
  if (type != DRIVE_REMOVABLE && type != DRIVE_CDROM) {
    write_standard_output(u"Cannot eject.  Drive type is incorrect.\n");
    return {};
  }
  const DWORD access = type == DRIVE_REMOVABLE ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
  const std::u16string name = text::format(u"\\\\.\\%c:", letter);
  os::unique_hfile volume(
      os::CreateFileW(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!volume) {
    const int error = static_cast<int>(os::GetLastError());
    write_standard_output(text::format(u"Error %d: %s\n", error, u"CreateFile"));
    report_failed_step(letter, u"open");
  }
  return volume;
}

int lock_volume(HANDLE volume) {
  for (int attempt = 0; attempt < kVolumeLockTries; ++attempt) {
    if (volume_request(volume, kLockVolume)) return 1;
    os::Sleep(volume_lock_wait.pause_ms);
  }
  return 0;
}

int eject_volume(char16_t letter) {
  os::unique_hfile volume = open_volume(letter);
  if (!volume) return 0;
  PREVENT_MEDIA_REMOVAL allow_removal{FALSE};
  if (!lock_volume(volume.get())) {
    report_failed_step(letter, u"lock");
  } else if (!volume_request(volume.get(), kDismountVolume)) {
    report_failed_step(letter, u"dismount");
  } else if (!volume_request(volume.get(), kMediaRemoval, &allow_removal, sizeof allow_removal)) {
    report_failed_step(letter, u"allow removal");
  } else if (!volume_request(volume.get(), kEjectMedia)) {
    report_failed_step(letter, u"eject");
  }
  return os::CloseHandle(volume.release()) ? 1 : 0;
}
