#include "config/read_config.h"
#include "pipes/commp.h"

namespace {

constexpr DWORD kPipeTimeout = 2000;
// The monitor answers "get_config" at once. read_config holds config_lock while it waits, and every
// device decision waits for that lock, so a monitor that takes the question and never answers must
// not hold them for the channel's general ten minutes: after this the file is read instead.
constexpr DWORD kMonitorAnswerWait = 10000;

}  // namespace

std::u16string ask_monitor_for_config() {
  class_commp monitor;
  monitor.connect_timeout = kPipeTimeout;
  monitor.write_timeout = kPipeTimeout;
  monitor.answer_timeout = kMonitorAnswerWait;
  std::u16string answer;
  monitor.ask(answer, u"kavenormon.exe", u"get_config", u"default");
  return answer;
}
