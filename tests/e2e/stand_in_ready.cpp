#include "e2e/stand_in_ready.h"

#include <vector>

#include "process/processes.h"
#include "text/number.h"
#include "text/utf.h"

namespace e2e_test {

std::string wait_for_stand_in(const testing_support::DebugOutput& lines, const std::u16string& program,
                              const std::u16string& channel, std::chrono::seconds bound) {
  const std::string name = text::to_utf8(program);
  const std::u16string listener = u"listener [\\\\.\\pipe\\vostrel_comm_" + channel + u"_";
  if (!lines.wait_for_line(listener, bound)) return name + " does not listen";
  DWORD pid = 0;
  for (const auto& line : lines.lines()) {
    const auto at = line.find(listener);
    if (at != std::u16string::npos) pid = static_cast<DWORD>(text::wtoi(line.substr(at + listener.size())));
  }
  CProcesses processes;
  if (processes.pid_by_name(program) != pid) {
    return "another " + name + " runs on this host; its machine's tests and these cannot run at once";
  }
  return "";
}

}  // namespace e2e_test
