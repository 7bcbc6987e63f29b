#include <memory>

#include "pipes/commp.h"

CThreadGroup g_ask_thread_group(100);

namespace {

struct BackgroundAsk {
  std::u16string process_name;
  std::u16string question;
  std::u16string channel;
};

UINT ask_and_drop_answer(void* param) {
  const std::unique_ptr<BackgroundAsk> job(static_cast<BackgroundAsk*>(param));
  if (!is_process_running(job->process_name)) return 0;
  class_commp commp;
  commp.connect_timeout = 2000;
  commp.write_timeout = 2000;
  std::u16string dropped;
  commp.ask(dropped, job->process_name, job->question, job->channel);
  return 0;
}

}  // namespace

void ask_in_background(const std::u16string& process_name, const std::u16string& question,
                       const std::u16string& channel) {
  auto job = std::make_unique<BackgroundAsk>(BackgroundAsk{process_name, question, channel});
  if (g_ask_thread_group.Start(ask_and_drop_answer, job.get())) job.release();
}
