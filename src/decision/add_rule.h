// Turning the user's answer about a device into a rule of the suite's configuration: the monitor
// ("kavenormon.exe") stores it, and the guard reads it back with the configuration later.
#pragma once

#include <string>
#include <string_view>

#include "json/json_node.h"

// "manufacturer/product/class/<time>", each text followed by "/" only when it is not empty.
std::u16string add_rule_label(CJsonNode& device_document, std::u16string_view time_text);

// "usb_device_add_rule" + "1" or "0" + ":" + a copy of the device document with exact patterns
// and the label under "etykieta".
std::u16string add_rule_message(CJsonNode& device_document, bool allow, std::u16string_view time_text);

// Sends the add-rule message to the monitor on the channel "default" and waits for its answer,
// which is not used. Nothing happens when the monitor does not run.
void send_add_rule(CJsonNode& device_document, bool allow);
