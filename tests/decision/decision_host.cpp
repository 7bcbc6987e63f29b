#include "decision/decision_host.h"

#include <algorithm>
#include <filesystem>
#include <regex>

#include "decision/decision.h"
#include "decision/rule_lists.h"
#include "pipes/commp.h"
#include "process/run_state.h"
#include "text/utf.h"

namespace decision_test {

void DecisionHost::SetUp() {
  ConfigHost::SetUp();
  reset_settings();
  forget_accept_folder();
  decision_waits.capture_cleanup_ms = 400;
  decision_waits.tray_answer_ms = 1500;
}

void DecisionHost::TearDown() {
  // Background asks and capture clean-ups end before the test's machine goes away (and before the
  // program's globals do, after the last test).
  for (CThreadGroup* group : {&g_ask_thread_group, &g_thread_group}) {
    for (int i = 0; i < 500 && (group->Reap(), group->Count() > 0); ++i) os::Sleep(20);
  }
  reset_settings();
  forget_accept_folder();
  decision_waits = DecisionWaits{};
  ConfigHost::TearDown();
}

std::vector<std::string> DecisionHost::report_files() const {
  std::vector<std::string> names;
  const std::filesystem::path logs = data_native("logs");
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(logs, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_regular_file()) names.push_back(std::filesystem::relative(it->path(), logs).generic_string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::u16string> DecisionHost::lines_with(std::u16string_view fragment) const {
  std::vector<std::u16string> found;
  for (const std::string& line : debug_lines()) {
    std::u16string text = text::from_utf8(line);
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r')) text.pop_back();
    if (text.find(fragment) != std::u16string::npos) found.push_back(text);
  }
  return found;
}

std::u16string read_utf16_file(const std::string& path) {
  return text::from_utf16le(testing_support::read_native_file(path));
}

std::u16string without_times(std::u16string text) {
  std::string utf8 = text::to_utf8(text);
  utf8 = std::regex_replace(utf8, std::regex(R"(\d{4}\.\d{2}\.\d{2} \d{2}:\d{2}:\d{2})"), "<time>");
  utf8 = std::regex_replace(utf8, std::regex(R"(\d{14})"), "<stamp>");
  return text::from_utf8(utf8);
}

}  // namespace decision_test
