#include <memory>

#include "json/json_node.h"
#include "pipes/commp.h"

CThreadGroup g_ask_thread_group(100);

namespace {

// The worker owns its job: the process name "p", the question "m" and the channel "i".
UINT ask_and_drop_answer(void* param) {
  const std::unique_ptr<CJsonNode> job(static_cast<CJsonNode*>(param));
  const std::u16string process_name = (*job)[u"p"].as_string();
  if (!is_process_running(process_name)) return 0;
  class_commp commp;
  commp.connect_timeout = 2000;
  commp.write_timeout = 2000;
  std::u16string dropped;
  commp.ask(dropped, process_name, (*job)[u"m"].as_string(), (*job)[u"i"].as_string());
  return 0;
}

}  // namespace

void ask_in_background(const std::u16string& process_name, const std::u16string& question,
                       const std::u16string& channel) {
  auto job = std::make_unique<CJsonNode>();
  job->set_string(u"p", process_name);
  job->set_string(u"m", question);
  job->set_string(u"i", channel);
  if (g_ask_thread_group.Start(ask_and_drop_answer, job.get())) job.release();
}
