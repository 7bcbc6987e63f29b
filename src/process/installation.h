// Files of the suite's installation folder (registry value RootPath of HKLM\Software\kavenor).
#pragma once

#include <string>
#include <string_view>

// The installation folder joined with `sub`, or "" when no installation folder is recorded. A
// missing RootPath must not turn "bin\u_io.bin" into a path under the current drive's root, a
// folder that any user may be able to create.
std::u16string installation_file(std::u16string_view sub);
