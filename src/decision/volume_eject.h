// Ejecting a removable volume the way Windows' own "safely remove" does it: open the volume, lock
// it (retrying while programs still hold files open on it), dismount it, allow the removal of its
// media and eject it.
#pragma once

#include "platform/handle.h"
#include "platform/os.h"

// The volume "\\.\<letter>:" opened for reading and writing (a CD-ROM drive for reading only), or
// an empty owner when it is no removable or CD-ROM drive or cannot be opened; both are written to
// standard output, as the system's own tools do.
os::unique_hfile open_volume(char16_t letter);

// FSCTL_LOCK_VOLUME, up to `kVolumeLockTries` times with a pause after each refusal. 1 when locked.
int lock_volume(HANDLE volume);

// How hard a lock is tried: 20 times, 500 ms apart (about ten seconds). Tests shorten the pause.
inline constexpr int kVolumeLockTries = 20;
struct VolumeLockWait {
  DWORD pause_ms = 500;
};
extern VolumeLockWait volume_lock_wait;

// Opens, locks, dismounts, allows removal and ejects, stopping at the first step that fails; a
// failed step after the open is named in a diagnostic line with the drive, so that an
// administrator can see which drive stayed mounted. 1 when the volume's handle then closed
// successfully, 0 when the volume could not be opened.
int eject_volume(char16_t letter);
