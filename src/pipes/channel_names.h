// The names under which a channel of a listening process is found: its base name, its pipe and
// the busy mutex that exists while the listener serves an exchange. Other programs of the suite
// form the same names, so these are part of the wire contract.
#pragma once

#include <string>
#include <string_view>

// "vostrel_comm_<channel>_<pid>"; a pid of 0 stands for the current process.
std::u16string channel_base_name(std::u16string_view channel, unsigned long pid);
// "\\.\pipe\<base>".
std::u16string channel_pipe_path(std::u16string_view base);
// "busy_mutex_<base>", used in the Global\ namespace.
std::u16string channel_busy_mutex(std::u16string_view base);
