// Whom the guard believes at the other end of a pipe: a client that runs as the system account or
// as an administrator may give privileged commands; a server whose image lies in the suite's
// program folder speaks for the suite's programs.
#pragma once

#include <string>
#include <string_view>

#include "platform/os.h"

// Whether process `pid` runs as the system account (S-1-5-18) or with the Administrators group
// enabled in its token (a group held for deny only does not count). False when the process or
// its token cannot be read.
bool is_privileged_process(DWORD pid);

// Canonical form of a full Windows path for comparison: "/" as "\", repeated separators as one,
// "." and ".." resolved, no trailing separator. "" for a path that is not full (a drive letter
// with a separator, or a "\\" prefix, first), or whose ".." climbs above its root.
std::u16string full_path_form(std::u16string_view path);

// Whether `image` lies directly in `folder`, both compared as full paths without case.
bool image_in_folder(std::u16string_view image, std::u16string_view folder);

// The folder of the suite's programs: "bin" of the installation folder; "" when none is recorded.
std::u16string suite_program_folder();

// Whether process `pid` runs a program of the suite (its image lies in suite_program_folder()).
// `image` receives the image path that was judged.
bool is_suite_program(DWORD pid, std::u16string& image);
