#include "app/run_modes.h"
#include "config/data_file.h"
#include "decision/rule_file_test.h"
#include "platform/handle.h"
#include "process/diagnostics.h"
#include "process/paths.h"
#include "process/processes.h"
#include "process/run_state.h"

namespace {

void write_start_lines() {
  const LANGID user_language = os::GetUserDefaultUILanguage();
  const LANGID system_language = os::GetSystemDefaultUILanguage();
  _COUT(text::format(u"LANG(U): %i", user_language));
  _COUT(text::format(u"LANG(S): %i", system_language));
  constexpr DWORD kNameChars = 200;
  char16_t name[kNameChars] = {};
  DWORD size = kNameChars;
  if (!os::GetUserNameW(name, &size)) name[0] = 0;
  _COUT(std::u16string(u"User   : ") + name);
}

}  // namespace

std::u16string handover_file_path() { return paths::data_path(u"tmp\\vostusbtmppath.txt"); }

BOOL CvostrelusbApp::InitInstance() {
  write_start_lines();
  if (global_mutex_exists(kListRequestMutex)) {
    run_device_list_writer();
    return FALSE;
  }
  const std::u16string command_line = os::GetCommandLineW();
  std::u16string value;
  if (get_cmdline_switch(command_line, u"/test:", value)) {
    test_rule_file(value);
  } else if (get_cmdline_switch(command_line, u"/gud:", value)) {
    run_device_list_request(value);
  } else if (get_cmdline_switch(command_line, u"/stop", value)) {
    run_control_mode(u"stop");
  } else if (get_cmdline_switch(command_line, u"/uninstall", value)) {
    run_control_mode(u"uninstall");
  } else if (get_cmdline_switch(command_line, u"/start", value)) {
    run_service_mode();
  }
  return FALSE;
}

void run_device_list_writer() {
  CDataFile handover;
  if (!handover.read(handover_file_path())) return;
  const std::u16string target = handover.text();
  os::DeleteFileW(handover_file_path().c_str());
  ODS(u"USB list path: %s", diag::message_filter(target));
  usb_list_service_mode(target);
}

void run_device_list_request(const std::u16string& target) {
  paths::write_utf16_file(handover_file_path(), target);
  g_thread_group.Start(force_termination, nullptr);
  run_temp_service();
}

void run_temp_service() {
  const std::u16string mutex_name = u"Global\\" + std::u16string(kListRequestMutex);
  os::unique_handle mutex(os::CreateMutexW(nullptr, FALSE, mutex_name.c_str()));
  if (mutex && os::GetLastError() == ERROR_ALREADY_EXISTS) mutex.reset();

  constexpr DWORD kPathChars = 1024;
  char16_t executable[kPathChars] = {};
  const DWORD length = os::GetModuleFileNameW(nullptr, executable, kPathChars);
  const std::u16string own_path = (length == 0 || length >= kPathChars) ? std::u16string() : std::u16string(executable, length);

  run_program(u"sc.exe", u"create vostusbtmpsvc binpath= \"" + own_path + u"\"", true, false);
  run_program(u"sc.exe", u"start vostusbtmpsvc", true, false);
  run_program(u"sc.exe", u"delete vostusbtmpsvc", true, false);
}
