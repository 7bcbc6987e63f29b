// json --library FILE: a JSON document as the driver control library reads it, written back in the
// library's compact form, or the library's error code and message.
#include <cstdio>
#include <string>

#include "library/json/json_holder.h"
#include "text/utf.h"
#include "tool/commands.h"
#include "tool/tool_io.h"

namespace tool {

int json_library(const std::string& path) {
  using VostUsbWardenManager::JsonHolder;
  JsonHolder document;
  std::u16string status_text;
  const std::uint32_t code = JsonHolder::LoadFromFile(product_path(path), document, status_text);
  if (code != 0) {
    std::fprintf(stderr, "%u: %s\n", static_cast<unsigned>(code), text::to_utf8_display(status_text).c_str());
    return 1;
  }
  // Characters beyond the basic plane stay whole; a lone surrogate shows as U+FFFD.
  write_stdout(text::to_utf8_display(document.ToString()));
  return 0;
}

}  // namespace tool
