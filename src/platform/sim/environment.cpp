// The environment: the real one, names compared without case as on Windows, with the variables
// every Windows machine has supplied when the Linux environment lacks them.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "platform/os.h"
#include "text/chars.h"
#include "text/utf.h"

extern char** environ;

namespace os {

namespace {

struct DefaultVariable {
  const char16_t* name;
  const char16_t* value;
};

constexpr DefaultVariable kWindowsDefaults[] = {
    {u"ALLUSERSPROFILE", u"C:\\ProgramData"},
    {u"SystemRoot", u"C:\\Windows"},
};

// A variable's value; an empty Linux variable counts as unset, since Windows has no empty ones.
std::optional<std::u16string> find_variable(std::u16string_view name) {
  for (char** entry = environ; entry && *entry; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    if (!equals || equals == *entry || equals[1] == '\0') continue;
    if (text::equals_nocase(text::from_utf8(std::string_view(*entry, equals - *entry)), name)) {
      return text::from_utf8(equals + 1);
    }
  }
  for (const DefaultVariable& d : kWindowsDefaults) {
    if (text::equals_nocase(d.name, name)) return std::u16string(d.value);
  }
  return std::nullopt;
}

}  // namespace

errno_t _wgetenv_s(std::size_t* required, char16_t* buffer, std::size_t count, const char16_t* name) {
  if (!required || !name || (!buffer && count > 0) || (buffer && count == 0)) return errno = EINVAL;
  *required = 0;
  if (buffer) buffer[0] = 0;
  const std::optional<std::u16string> value = find_variable(name);
  if (!value) return 0;
  *required = value->size() + 1;
  if (!buffer) return 0;  // a size query
  if (*required > count) return errno = ERANGE;
  value->copy(buffer, value->size());
  buffer[value->size()] = 0;
  return 0;
}

}  // namespace os
