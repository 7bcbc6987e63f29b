// What every subcommand of the tool shares: product paths from command-line arguments, output of
// exact bytes, one-line errors.
#pragma once

#include <string>
#include <string_view>

namespace tool {

// A path argument in the product's form. On the simulated host a Linux path ("/x/y") becomes its
// Z: form ("Z:\x\y"); Windows paths and relative paths are taken as they stand.
std::u16string product_path(const std::string& argument);

// Writes bytes to standard output exactly (no line-end translation).
void write_stdout(std::string_view bytes);

// "vostrelusb-tool: <message>" on standard error; returns `status` for the caller to return.
int fail(int status, const std::string& message);

}  // namespace tool
