// The other programs of the suite that a decision talks to, and the messages it sends them. The
// programs are found by executable name; names, channels and message heads are shared with them.
#pragma once

#include <string_view>

namespace suite {

// The monitor keeps the configuration and stores the rules made from the user's answers.
inline constexpr std::u16string_view kMonitor = u"kavenormon.exe";
inline constexpr std::u16string_view kMonitorChannel = u"default";
inline constexpr std::u16string_view kAddRule = u"usb_device_add_rule";

// The tray program asks the user about a device and shows notices.
inline constexpr std::u16string_view kTray = u"kavenormenu.exe";
inline constexpr std::u16string_view kTrayChannel = u"usb_device";
inline constexpr std::u16string_view kAskUsbDevice = u"ask_usb_device|";
inline constexpr std::u16string_view kUsbDeviceBlocked = u"usb_device_blocked|";
// The tray's answer that allows a device; any other answer, or none, blocks it.
inline constexpr std::u16string_view kAllowAnswer = u"1";

// Both time-outs of every exchange with them, in milliseconds.
inline constexpr unsigned kPipeTimeout = 2000;

}  // namespace suite
