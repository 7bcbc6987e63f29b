#include "app/command_listener.h"

#include "app/run_modes.h"
#include "config/read_config.h"
#include "pipes/commp.h"
#include "process/diagnostics.h"
#include "process/named_paths.h"
#include "process/run_state.h"
#include "process/trusted_peers.h"

UINT thread_communication_default(void*) {
  ODS_ENTER();
  class_commp commp;
  commp.connect_timeout = 2000;
  commp.write_timeout = 2000;
  commp.buffer_handler = nullptr;
  commp.text_handler = [&commp](unsigned long pid, const std::u16string& question) {
    return guarded_command_handler(commp.pipe_client_pid(), pid, question);
  };
  commp.listen(u"default");
  // Somebody else serves the guard's own pipe: askers cannot reach this process, so it ends.
  ODS(u"! listener stopped [%s]", commp.pipe_name());
  stop_requested = 1;
  return 0;
}

std::u16string guarded_command_handler(DWORD client, unsigned long pid, const std::u16string& question) {
  // The id in the request is the asker's own claim; only the pipe's word counts.
  if ((question == u"stop" || question == u"uninstall") && !is_privileged_process(client)) {
    ODS(u"command refused [%s] : %i", question, static_cast<int>(client));
    return u"";
  }
  return default_command_handler(pid, question);
}

std::u16string default_command_handler(unsigned long, const std::u16string& question) {
  if (question == u"cfg") {
    {
      // The list is written through g_manager: not while the tear-down destroys it.
      std::lock_guard<std::recursive_mutex> lock(g_manager_lock);
      ensure_current_usb_list();
    }
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
