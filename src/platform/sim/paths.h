// Small path helpers shared by the simulated host's file calls.
#pragma once

#include <string>
#include <string_view>

#include "platform/os.h"

namespace os::sim {

// The file that marks a folder as a simulated machine's root (the sim CLI resets only such folders).
inline constexpr const char* kMachineMarker = ".vostusb-sim";

// The Linux path of a product path; empty for a null or empty one, and for one that Win32 refuses
// as too long (callers report ERROR_PATH_NOT_FOUND, as Win32 does).
std::string linux_path(const char16_t* windows_path);

// Win32's path length limits for programs that are not long-path aware: a full path must be
// shorter than MAX_PATH, a folder to create shorter than MAX_PATH - 12 (room for an 8.3 name).
// Paths starting with "\\?\" have no such limit.
inline constexpr std::size_t kMaxFolderPath = MAX_PATH - 12;
bool fits_path_limit(std::u16string_view windows_path, std::size_t limit = MAX_PATH);

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
