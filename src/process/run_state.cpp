#include "process/run_state.h"

#include <chrono>

#include "platform/handle.h"
#include "process/diagnostics.h"
#include "text/chars.h"

std::atomic<int> stop_requested{0};
std::atomic<int> uninstall_requested{0};
CThreadGroup g_thread_group(100);

class CThreadGroup::Thread {
 public:
  Thread(ThreadProc proc, void* param)
      : finished_(std::make_shared<std::atomic<bool>>(false)),
        thread_([proc, param, finished = finished_] {
          proc(param);
          finished->store(true);
        }) {}
  ~Thread() {
    if (finished_->load()) {
      thread_.join();
    } else {
      thread_.detach();
    }
  }
  bool finished() const { return finished_->load(); }

 private:
  std::shared_ptr<std::atomic<bool>> finished_;
  std::thread thread_;
};

CThreadGroup::CThreadGroup(unsigned thread_limit) : limit(thread_limit) {}

CThreadGroup::~CThreadGroup() {
  std::lock_guard guard(lock);
  threads.clear();
}

CThreadGroup::Thread* CThreadGroup::Start(ThreadProc proc, void* param) {
  for (;;) {
    Reap();
    if (Count() < limit) break;
    os::Sleep(10);
  }
  std::unique_ptr<Thread> thread;
  try {
    thread = std::make_unique<Thread>(proc, param);
  } catch (const std::exception&) {
    return nullptr;
  }
  std::lock_guard guard(lock);
  threads.push_back(std::move(thread));
  return threads.back().get();
}

void CThreadGroup::Reap() {
  std::vector<std::unique_ptr<Thread>> done;  // joined outside the lock
  {
    std::lock_guard guard(lock);
    for (auto it = threads.begin(); it != threads.end();) {
      if ((*it)->finished()) {
        done.push_back(std::move(*it));
        it = threads.erase(it);
      } else {
        ++it;
      }
    }
  }
}

std::size_t CThreadGroup::Count() {
  std::lock_guard guard(lock);
  return threads.size();
}

UINT force_termination(void*) {
  os::Sleep(30000);
  _COUT(u"! Force process termination.");
  os::TerminateProcess(os::GetCurrentProcess(), 0);
  return 0;
}

int global_mutex_exists(std::u16string_view name) {
  const std::u16string global_name = u"Global\\" + std::u16string(name);
  os::unique_handle mutex(os::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, global_name.c_str()));
  if (mutex) return 1;
  return os::GetLastError() == ERROR_ACCESS_DENIED ? 1 : 0;
}

int get_cmdline_switch(std::u16string_view command_line, std::u16string_view switch_text, std::u16string& value) {
  value.clear();
  const std::u16string line = text::lower_az(command_line);
  const std::u16string wanted = text::lower_az(switch_text);
  const std::size_t at = line.find(wanted);
  if (at == std::u16string::npos) return 0;
  if (wanted.empty() || wanted.back() != u':') return 1;
  std::size_t start = at + wanted.size();
  char16_t stop = u' ';
  if (start < line.size() && line[start] == u'"') {
    stop = u'"';
    ++start;
  }
  const std::size_t end = line.find(stop, start);
  value = line.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
  return 1;
}
