#include "sc_arguments.h"

#include "text/chars.h"
#include "text/utf.h"

namespace sc {

std::optional<Command> parse_command(const std::vector<std::u16string>& arguments) {
  if (arguments.size() < 2) return std::nullopt;
  Command command;
  command.verb = text::to_utf8(text::lower_az(arguments[0]));
  command.service = arguments[1];
  for (std::size_t i = 2; i < arguments.size(); i += 2) {
    const std::u16string& option = arguments[i];
    if (option.size() < 2 || option.back() != u'=' || i + 1 >= arguments.size()) return std::nullopt;
    command.options[text::to_utf8(text::lower_az(option.substr(0, option.size() - 1)))] = arguments[i + 1];
  }
  return command;
}

std::optional<DWORD> service_type(const std::u16string& value) {
  const std::u16string v = text::lower_az(value);
  if (v == u"own") return SERVICE_WIN32_OWN_PROCESS;
  if (v == u"share") return SERVICE_WIN32_SHARE_PROCESS;
  if (v == u"kernel") return SERVICE_KERNEL_DRIVER;
  if (v == u"filesys") return SERVICE_FILE_SYSTEM_DRIVER;
  return std::nullopt;
}

std::optional<DWORD> start_type(const std::u16string& value) {
  const std::u16string v = text::lower_az(value);
  if (v == u"boot") return SERVICE_BOOT_START;
  if (v == u"system") return SERVICE_SYSTEM_START;
  if (v == u"auto") return SERVICE_AUTO_START;
  if (v == u"demand") return SERVICE_DEMAND_START;
  if (v == u"disabled") return SERVICE_DISABLED;
  return std::nullopt;
}

}  // namespace sc
