// Right after system start the driver's user test is not on yet, and devices connected before it
// never pass the decision. The driver bring-up therefore ejects the removable drives of every
// connected device that no rule allows, reports each such device as blocked, and keeps two files
// under the data folder's "tmp": the whole device list ("devices_found.txt") and the devices
// ejected ("devices_ejected.txt", a time line and one pair per device).
#pragma once

// Does nothing without a driver connection (g_manager) or when the devices cannot be listed.
// Each device is evaluated under config_lock, so a reload on the command listener's thread never
// replaces the rule lists in the middle of an evaluation.
void eject_unknown_drives();
