#include "platform/sim/spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/sim/errors.h"
#include "platform/sim/pidfd.h"

extern char** environ;

namespace os::sim {

namespace {

constexpr std::string_view kCommandLineVariable = "VOSTUSB_SIM_CMDLINE=";
constexpr std::size_t kPidDigits = 10;

enum class Stage : int { WorkingFolder = 1, Exec = 2 };

struct Failure {
  Stage stage;
  int error;
};

// Everything the child needs, prepared before fork: after fork only async-signal-safe calls may run.
struct ChildSetup {
  std::vector<std::string> environment;
  std::vector<char*> argv;
  std::vector<char*> envp;
  std::vector<char> command_line_entry;  // "VOSTUSB_SIM_CMDLINE=" + room for the pid + ":" + line
  std::size_t command_line_length;
};

ChildSetup prepare(const SpawnRequest& request) {
  ChildSetup setup;
  for (char** variable = environ; variable != nullptr && *variable != nullptr; ++variable) {
    if (!std::string_view(*variable).starts_with(kCommandLineVariable)) setup.environment.emplace_back(*variable);
  }
  for (const std::string& argument : request.arguments) setup.argv.push_back(const_cast<char*>(argument.c_str()));
  setup.argv.push_back(nullptr);
  for (std::string& variable : setup.environment) setup.envp.push_back(variable.data());
  setup.command_line_length = request.command_line.size();
  setup.command_line_entry.assign(kCommandLineVariable.size() + kPidDigits + 1 + request.command_line.size() + 1, '\0');
  std::memcpy(setup.command_line_entry.data(), kCommandLineVariable.data(), kCommandLineVariable.size());
  setup.envp.push_back(setup.command_line_entry.data());
  setup.envp.push_back(nullptr);
  return setup;
}

// In the child: writes "<pid>:<command line>" after the variable's name.
void complete_command_line_entry(ChildSetup& setup, const std::string& command_line) {
  char* out = setup.command_line_entry.data() + kCommandLineVariable.size();
  char digits[kPidDigits];
  std::size_t count = 0;
  for (unsigned long pid = static_cast<unsigned long>(::getpid()); count == 0 || pid != 0; pid /= 10) {
    digits[count++] = static_cast<char>('0' + pid % 10);
  }
  while (count > 0) *out++ = digits[--count];
  *out++ = ':';
  for (std::size_t i = 0; i < setup.command_line_length; ++i) *out++ = command_line[i];
  *out = '\0';
}

[[noreturn]] void report_and_exit(int report, Stage stage) {
  const Failure failure{stage, errno};
  ssize_t ignored = ::write(report, &failure, sizeof(failure));
  (void)ignored;
  ::_exit(127);
}

[[noreturn]] void run_child(ChildSetup& setup, const SpawnRequest& request, int report) {
  // A new program starts with default signal handling and nothing blocked, whatever this thread had.
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal) {
    if (signal != SIGKILL && signal != SIGSTOP) ::sigaction(signal, &default_action, nullptr);
  }
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  // Handles are not inherited: only the standard streams pass to the new program.
  ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);

  if (!request.working_folder.empty() && ::chdir(request.working_folder.c_str()) != 0) {
    report_and_exit(report, Stage::WorkingFolder);
  }
  complete_command_line_entry(setup, request.command_line);
  ::execve(request.program.c_str(), setup.argv.data(), setup.envp.data());
  report_and_exit(report, Stage::Exec);
}

DWORD error_of(const Failure& failure) {
  if (failure.stage == Stage::WorkingFolder) return ERROR_DIRECTORY;
  return win32_error_from_errno(failure.error);
}

void reap(pid_t pid) {
  while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

Spawned spawn_process(const SpawnRequest& request) {
  Spawned result;
  ChildSetup setup = prepare(request);
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    result.error = win32_error_from_errno(errno);
    return result;
  }
  UniqueFd report_read(report[0]);
  UniqueFd report_write(report[1]);

  const pid_t pid = ::fork();
  if (pid < 0) {
    result.error = win32_error_from_errno(errno);
    return result;
  }
  if (pid == 0) run_child(setup, request, report_write.get());

  report_write.reset();
  Failure failure{};
  ssize_t got;
  while ((got = ::read(report_read.get(), &failure, sizeof(failure))) < 0 && errno == EINTR) {
  }
  if (got == static_cast<ssize_t>(sizeof(failure))) {
    reap(pid);
    result.error = error_of(failure);
    return result;
  }
  // The pipe closed on a successful exec. The child is ours, so its id stays valid until we reap.
  result.pidfd.reset(open_pidfd(pid));
  if (!result.pidfd) {
    const int error = errno;
    ::kill(pid, SIGKILL);
    reap(pid);
    result.error = win32_error_from_errno(error);
    return result;
  }
  result.pid = pid;
  return result;
}

}  // namespace os::sim
