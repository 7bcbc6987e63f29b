// "/stop" and "/uninstall": ask the running service instance over channel "default".
#include "app/run_modes.h"
#include "pipes/commp.h"
#include "process/diagnostics.h"
#include "process/processes.h"

BOOL run_control_mode(const std::u16string& command) {
  class_commp commp;
  commp.connect_timeout = 2000;
  commp.write_timeout = 2000;
  std::u16string answer;
  if (const DWORD service = find_other_instance()) commp.ask(answer, service, command, u"default");
  if (command == u"stop") ODS(u"Stop result: %s", diag::message_filter(answer));
  return FALSE;
}
