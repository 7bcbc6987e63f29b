#include "tool/tool_io.h"

#include <cstdio>

#include "platform/os.h"
#include "text/utf.h"

namespace tool {

std::u16string product_path(const std::string& argument) {
#ifdef _WIN32
  return text::from_utf8(argument);
#else
  if (argument.empty() || argument[0] != '/') return text::from_utf8(argument);
  std::u16string path = u"Z:" + text::from_utf8(argument);
  for (char16_t& c : path) {
    if (c == u'/') c = u'\\';
  }
  return path;
#endif
}

void write_stdout(std::string_view bytes) {
  std::fflush(stdout);
  os::_setmode(1, _O_BINARY);
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

int fail(int status, const std::string& message) {
  std::fprintf(stderr, "vostrelusb-tool: %s\n", message.c_str());
  return status;
}

}  // namespace tool
