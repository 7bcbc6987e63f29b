#include "decision/tray.h"

#include "decision/suite_programs.h"
#include "pipes/commp.h"

bool ask_tray_user(const std::u16string& device_text, DWORD answer_wait_ms) {
  class_commp tray;
  tray.connect_timeout = suite::kPipeTimeout;
  tray.write_timeout = suite::kPipeTimeout;
  tray.answer_timeout = answer_wait_ms;
  std::u16string answer;
  tray.ask(answer, std::u16string(suite::kTray), std::u16string(suite::kAskUsbDevice) + device_text,
           std::u16string(suite::kTrayChannel));
  return answer == suite::kAllowAnswer;
}

void send_blocked_notice(const std::u16string& device_text) {
  ask_in_background(std::u16string(suite::kTray), std::u16string(suite::kUsbDeviceBlocked) + device_text,
                    std::u16string(suite::kTrayChannel));
}
