#include "process/installation.h"

#include "process/paths.h"
#include "process/registry.h"

std::u16string installation_file(std::u16string_view sub) {
  if (registry::reg_read_string(u"Software\\kavenor", u"RootPath", u"").empty()) return {};
  return paths::root_path(sub);
}
