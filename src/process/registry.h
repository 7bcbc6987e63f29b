// The process's registry helpers (HKEY_LOCAL_MACHINE) and the Windows version test.
#pragma once

#include <string>
#include <string_view>

#include "platform/os.h"

namespace registry {

// A REG_SZ or REG_EXPAND_SZ value (not expanded, up to 3000 characters), else `fallback`.
std::u16string reg_read_string(std::u16string_view subkey, std::u16string_view name, std::u16string_view fallback);
// A REG_DWORD value, else `fallback`.
DWORD reg_read_dword(std::u16string_view subkey, std::u16string_view name, DWORD fallback);
// Stores `text` as REG_SZ of exactly 2 x length bytes (no terminator). 1 on success, else 0.
int reg_write_string(std::u16string_view subkey, std::u16string_view name, std::u16string_view text);
// Stores a REG_DWORD under `root`. 1 on success, else 0.
int reg_write_dword(HKEY root, std::u16string_view subkey, std::u16string_view name, DWORD value);

// "ProductName" of the running Windows, read once and kept (an empty read is tried again).
std::u16string product_name();
// Windows 10, Server 2016 and Server 2019: the lower-cased product name contains "2016", "2019"
// or "windows 10".
bool is_windows10_family();
bool is_windows10_product(std::u16string_view product);
// Replaces `old_file` (case-sensitive) in the "ImagePath" of the service by `new_file` and writes
// it back as REG_SZ. True when it changed the value.
bool repair_driver_image_path(std::u16string_view service, std::u16string_view old_file, std::u16string_view new_file);

}  // namespace registry
