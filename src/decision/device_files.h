// The files in which a decision records a device: the accept folder's files of every device seen,
// and the capture file that another program of the suite reads while it waits for the next device.
#pragma once

#include <string>
#include <string_view>

#include "json/json_node.h"
#include "platform/os.h"

// Held by another program of the suite while it waits to capture the next connected device.
inline constexpr char16_t kCaptureMutex[] = u"VOSTUSB_PROCESS_093021398320912801";
// Held by the worker that deletes the capture file.
inline constexpr char16_t kCleanupMutex[] = u"USBDEVICE_8973987198127912871329";

// <accept folder>\<checksum>.json: the device document (UTF-16LE), replaced; and
// <accept folder>\<checksum>.txt: one line per sighting (local time, CR LF, UTF-8), appended.
void write_accept_files(const std::u16string& accept_folder, const std::u16string& checksum, const CJsonNode& document);

// The capture file (data folder\tmp\usbdevice.json, UTF-8): the device document with exact
// patterns and "timestamp" (14 digits), replaced.
void write_capture_file(const CJsonNode& document);

// Deletes the capture file after `delay_ms` in a worker of g_thread_group, unless an earlier
// worker (the clean-up mutex) is already waiting to delete it.
void start_capture_cleanup(DWORD delay_ms);
