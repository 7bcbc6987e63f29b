// Small path helpers shared by the simulated host's file calls.
#pragma once

#include <string>

namespace os::sim {

// The file that marks a folder as a simulated machine's root (the sim CLI resets only such folders).
inline constexpr const char* kMachineMarker = ".vostusb-sim";

// The Linux path of a product path; empty for a null or empty one.
std::string linux_path(const char16_t* windows_path);

// The folder that holds a Linux path ("." for a bare name, "/" for "/x").
std::string parent_folder(const std::string& path);

bool is_folder(const std::string& path);

// Whether a path names an existing file or folder that FILE_ATTRIBUTE_READONLY applies to: a file
// without any write permission bit. (Folders never count; Windows ignores the attribute on them.)
bool is_read_only_file(const std::string& path);

// The permission bits for a file made writable again: owner write, plus write for group and others
// where they may read and the process's umask allows it.
unsigned writable_mode(unsigned mode);

}  // namespace os::sim
