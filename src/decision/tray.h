// Questions and notices to the tray program ("kavenormenu.exe", channel "usb_device").
#pragma once

#include <string>

#include "platform/os.h"

// Asks the user about the device (its document as text) and waits up to `answer_wait_ms` for the
// answer once the tray program took the question. True only for the answer "1"; any other answer,
// no answer and no tray program mean false.
bool ask_tray_user(const std::u16string& device_text, DWORD answer_wait_ms);

// Tells the tray program that the device (its document as text) was blocked, from a worker
// thread; the caller does not wait.
void send_blocked_notice(const std::u16string& device_text);
