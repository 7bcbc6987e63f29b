// The three roots of every file the process touches (installation folder, data folder, program
// folder), path joining, folder creation and the whole-file writer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace paths {

// Appends a backslash to `path` unless it ends in one (an empty path does not), drops one leading
// backslash of `sub`, then appends `sub`. Doubled separators inside `sub` stay.
std::u16string path_join(std::u16string_view path, std::u16string_view sub);

// Installation folder ("RootPath" of HKLM\Software\kavenor, not expanded) joined with `sub`; the
// join is made even for an empty `sub`.
std::u16string root_path(std::u16string_view sub);
// %ALLUSERSPROFILE% joined with "kavenor", then with `sub` when it is not empty.
std::u16string data_path(std::u16string_view sub = u"");
// Folder of the running executable, joined with `sub` when it is not empty.
std::u16string program_path(std::u16string_view sub = u"");

// Creates every folder along `path` (each prefix ending before a backslash, and the whole path).
// Existing folders are no error; always succeeds.
int make_folders(std::u16string_view path);

// Writes `count` bytes as the whole file at `path`, creating its folders and clearing a read-only
// attribute first. Returns 1, or 0 when the file cannot be opened or written.
int write_whole_file(std::u16string_view path, const void* bytes, std::size_t count);

// Text helpers of the same writer: UTF-16LE without byte-order mark, or UTF-8 by the system's rule.
int write_utf16_file(std::u16string_view path, std::u16string_view text);
int write_utf8_file(std::u16string_view path, std::u16string_view text);

}  // namespace paths
