#include "process/command_listener.h"

#include "pipes/commp.h"
#include "process/diagnostics.h"
#include "process/run_modes.h"
#include "process/run_state.h"

UINT thread_communication_default(void*) {
  ODS_ENTER();
  class_commp commp;
  commp.connect_timeout = 2000;
  commp.write_timeout = 2000;
  commp.buffer_handler = nullptr;
  commp.text_handler = default_command_handler;
  commp.listen(u"default");
}

std::u16string default_command_handler(unsigned long, const std::u16string& question) {
  if (question == u"cfg") {
    ensure_current_usb_list();
    read_config();
    return u"1";
  }
  if (question == u"stop") {
    stop_requested = 1;
    return u"1";
  }
  if (question == u"uninstall") {
    uninstall_requested = 1;
    stop_requested = 1;
    return u"1";
  }
  return u"";
}
