#include "pipes/channel_names.h"

#include "platform/os.h"
#include "text/format.h"

std::u16string channel_base_name(std::u16string_view channel, unsigned long pid) {
  if (pid == 0) pid = os::GetCurrentProcessId();
  return text::format(u"vostrel_comm_%s_%i", channel, static_cast<int>(pid));
}

std::u16string channel_pipe_path(std::u16string_view base) { return text::format(u"\\\\.\\pipe\\%s", base); }

std::u16string channel_busy_mutex(std::u16string_view base) { return text::format(u"busy_mutex_%s", base); }
