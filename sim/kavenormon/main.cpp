// kavenormon.exe, the stand-in for the suite's monitor on a simulated host: it keeps the product
// configuration, answers "get_config" with it on the channel "default", stores the rules that
// "usb_device_add_rule" brings, and then tells the guard to reload. It prints what it receives so
// that a person running the simulated host can follow it.
//
//   kavenormon.exe [--hang | --garbage] [CONFIG_FILE]
//                                    (default file: %ALLUSERSPROFILE%\kavenor\cfg\cfg.json)
// --hang and --garbage make it a faulty monitor, to try the guard against one: it takes every
// question and never answers, or it answers "get_config" with text that is no configuration.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "monitor_config.h"
#include "pipes/commp.h"
#include "process/paths.h"
#include "text/format.h"
#include "text/number.h"
#include "text/utf.h"

namespace {

constexpr DWORD kPipeTimeout = 2000;

void say(const std::u16string& line) {
  std::fputs(("kavenormon: " + text::to_utf8_display(line) + "\n").c_str(), stdout);
  std::fflush(stdout);
}

bool is_guard(CProcesses& processes, DWORD pid) {
  std::u16string name = processes.base_name(pid);
  for (char16_t& c : name) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return name == u"vostrelusb.exe" || name == u"vostrelusb";
}

// As the real monitor does after it changed the configuration: every running guard is asked to
// reload, from a thread of its own, because the guard's reload asks this monitor for the
// configuration before it answers.
void tell_guards_to_reload() {
  std::thread([] {
    class_commp asker;
    asker.connect_timeout = kPipeTimeout;
    asker.write_timeout = kPipeTimeout;
    std::vector<unsigned long> ids;
    asker.EnumerateProcesses(ids);
    for (unsigned long pid : ids) {
      if (!is_guard(asker, pid)) continue;
      std::u16string answer;
      const int connected = asker.ask(answer, pid, u"cfg", u"default");
      say(text::format(u"-> cfg to the guard %i: %s", static_cast<int>(pid),
                       connected ? u"answered \"" + answer + u"\"" : std::u16string(u"not reached")));
    }
  }).detach();
}

enum class Fault { none, hang, garbage };

std::u16string answer(MonitorConfig& config, Fault fault, unsigned long pid, const std::u16string& question) {
  say(text::format(u"<- from %i: %s", static_cast<int>(pid), question));
  if (fault == Fault::hang) {
    say(u"-> no answer (--hang)");
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
  }
  if (question == u"get_config" && fault == Fault::garbage) {
    say(u"-> garbage (--garbage)");
    return u"\x01]] this is no configuration";
  }
  if (question == u"get_config") {
    const std::u16string document = config.text();
    say(text::format(u"-> the configuration (%i characters)", static_cast<int>(document.size())));
    return document;
  }
  if (question.compare(0, kAddRule.size(), kAddRule) == 0) {
    if (!config.add_rule(question)) {
      say(u"-> not stored: not a rule message, or the file could not be written");
      return u"";
    }
    say(u"-> rule stored in " + config.file());
    tell_guards_to_reload();
    return u"1";
  }
  say(u"-> unknown question");
  return u"";
}

constexpr char kUsage[] =
    "usage: kavenormon.exe [--hang | --garbage] [CONFIG_FILE]\n"
    "  Keeps the configuration document of CONFIG_FILE (a Windows path of the machine; default\n"
    "  %ALLUSERSPROFILE%\\kavenor\\cfg\\cfg.json) and serves \"get_config\" and \"usb_device_add_rule\"\n"
    "  on the pipe channel \"default\".\n"
    "  --hang     take every question and never answer\n"
    "  --garbage  answer \"get_config\" with text that is no configuration\n";

}  // namespace

int main(int argc, char** argv) {
  Fault fault = Fault::none;
  std::u16string file;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--hang" && fault == Fault::none) {
      fault = Fault::hang;
    } else if (arg == "--garbage" && fault == Fault::none) {
      fault = Fault::garbage;
    } else if (file.empty() && !arg.empty() && arg[0] != '-') {
      file = text::from_utf8(arg);
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (file.empty()) file = paths::data_path(u"cfg\\cfg.json");
  MonitorConfig config;
  const std::u16string source = config.load(file);
  say(u"configuration file " + file + u", read from " + source);

  class_commp listener;
  listener.connect_timeout = kPipeTimeout;
  listener.write_timeout = kPipeTimeout;
  listener.text_handler = [&config, fault](unsigned long pid, const std::u16string& question) {
    return answer(config, fault, pid, question);
  };
  say(text::format(u"listening on the channel \"default\" as process %i", static_cast<int>(os::GetCurrentProcessId())));
  listener.listen(u"default");
  return 1;  // the channel's pipe is served by another process already
}
