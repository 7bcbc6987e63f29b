// The command line of sc.exe: "sc COMMAND NAME [option= value]...", where each option is a word
// ending in "=" followed by its value as the next argument (sc.exe's own form).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/os.h"

namespace sc {

struct Command {
  std::string verb;  // lower-case
  std::u16string service;
  std::map<std::string, std::u16string> options;  // lower-case option name without "=" -> value
};

// nullopt when the arguments do not form a command (an option without its value, stray words).
std::optional<Command> parse_command(const std::vector<std::u16string>& arguments);

// The values of create's options: nullopt for a value sc.exe does not know.
std::optional<DWORD> service_type(const std::u16string& value);
std::optional<DWORD> start_type(const std::u16string& value);

}  // namespace sc
