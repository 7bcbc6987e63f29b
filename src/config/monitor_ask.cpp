#include "config/read_config.h"
#include "pipes/commp.h"

namespace {

constexpr DWORD kPipeTimeout = 2000;

}  // namespace

std::u16string ask_monitor_for_config() {
  class_commp monitor;
  monitor.connect_timeout = kPipeTimeout;
  monitor.write_timeout = kPipeTimeout;
  monitor.busy_timeout = kMonitorWait;
  monitor.answer_timeout = kMonitorWait;
  std::u16string answer;
  monitor.ask(answer, u"kavenormon.exe", u"get_config", u"default");
  return answer;
}
