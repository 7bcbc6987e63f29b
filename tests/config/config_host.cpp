#include "config/config_host.h"

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "process/registry.h"
#include "text/utf.h"

namespace testing_support {

void ConfigHost::SetUp() {
  FreshHost::SetUp();
  if (const char* old = std::getenv("ALLUSERSPROFILE")) {
    old_all_users_ = old;
    had_all_users_ = true;
  }
  set_env("ALLUSERSPROFILE", text::to_utf8(win_path("all users")).c_str());
  ASSERT_EQ(1, registry::reg_write_string(u"Software\\kavenor", u"RootPath", win_path("install")));
}

void ConfigHost::TearDown() {
  set_env("ALLUSERSPROFILE", had_all_users_ ? old_all_users_.c_str() : nullptr);
  FreshHost::TearDown();
}

void ConfigHost::forget_installation() const {
  ASSERT_EQ(1, registry::reg_write_string(u"Software\\kavenor", u"RootPath", u""));
}

std::vector<std::string> ConfigHost::backups() const {
  std::vector<std::string> names;
  std::error_code error;
  const std::regex backup(R"(cfg\.json\.\d{14})");
  for (const auto& entry : std::filesystem::directory_iterator(config_folder_native(), error)) {
    const std::string name = entry.path().filename().string();
    if (std::regex_match(name, backup)) names.push_back(name);
  }
  return names;
}

std::string utf16_bytes(const std::string& utf8, bool with_mark) {
  return (with_mark ? std::string("\xFF\xFE") : std::string()) + text::to_utf16le(text::from_utf8(utf8));
}

}  // namespace testing_support
