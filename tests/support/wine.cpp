#include "support/wine.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/handle.h"
#include "platform/os.h"

namespace testing_support {

namespace {

void delete_key_tree(HKEY root, const std::u16string& path) {
  std::vector<std::u16string> children;
  {
    os::unique_hkey key;
    if (os::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
    char16_t name[256];
    DWORD size = 256;
    for (DWORD i = 0; os::RegEnumKeyExW(key.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, size = 256) {
      children.emplace_back(name, size);
    }
  }
  for (const auto& child : children) delete_key_tree(root, path + u"\\" + child);
  os::RegDeleteKeyW(root, path.c_str());
}

}  // namespace

bool under_wine() {
#ifdef _WIN32
  // Every Wine prefix has this key; Windows does not.
  static const bool wine = [] {
    os::unique_hkey key;
    return os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Wine", 0, KEY_READ, key.put()) == ERROR_SUCCESS;
  }();
  return wine;
#else
  return false;
#endif
}

void forget_the_suite() {
  delete_key_tree(HKEY_LOCAL_MACHINE, u"Software\\kavenor");
  if (const char* data = std::getenv("ALLUSERSPROFILE"); data != nullptr && *data != '\0') {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(data) / "kavenor", ignored);
  }
}

}  // namespace testing_support
