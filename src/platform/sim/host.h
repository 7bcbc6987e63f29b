// The simulated machine as a whole: where its state lives and how Windows paths map onto Linux.
#pragma once

#include <string>
#include <string_view>

namespace os::sim {

// The sim root: VOSTUSB_SIM_ROOT, by default $HOME/.vostusb-sim. Read on every call, so a test
// can switch machines. Created on first use.
std::string sim_root();

// Maps a Windows path to a Linux path, as Wine does: "Z:\a\b" is "/a/b", "C:\x" is
// "<sim root>/drive_c/x" (any other letter likewise), "\" and "/" both separate, a path that starts
// with one separator is on drive Z:, a relative path stays relative.
std::string to_linux_path(std::u16string_view windows_path);

// The other way round: a Linux path in Z: form ("/a/b" is "Z:\a\b"); paths under
// <sim root>/drive_<x>/ come back with their own drive letter.
std::u16string to_windows_path(std::string_view linux_path);

}  // namespace os::sim
