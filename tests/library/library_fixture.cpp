#include "library_fixture.h"

#include "platform/handle.h"
#include "text/utf.h"

namespace library_testing {

using testing_support::native_path;

void LibraryHost::SetUp() {
  FreshHost::SetUp();
  config_path_ = win_path("config.json");
  admittances_path_ = win_path("adm");
}

void ServiceKeyHost::SetUp() {
  LibraryHost::SetUp();
  DeleteServiceKey();
  os::unique_hkey key;
  ASSERT_EQ(os::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kTestServiceKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                key.put(), nullptr),
            0);
}

void ServiceKeyHost::TearDown() {
  DeleteServiceKey();
  LibraryHost::TearDown();
}

void ServiceKeyHost::DeleteServiceKey() { os::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kTestServiceKey); }

void ServiceKeyHost::SetRawValue(const char16_t* name, DWORD type, const std::string& bytes) {
  os::unique_hkey key;
  ASSERT_EQ(os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTestServiceKey, 0, KEY_SET_VALUE, key.put()), 0);
  ASSERT_EQ(os::RegSetValueExW(key.get(), name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                               static_cast<DWORD>(bytes.size())),
            0);
}

std::string LibraryHost::ConfigText() const {
  return text::to_utf8(text::from_utf16le(testing_support::read_native_file(native_path(config_path_))));
}

void LibraryHost::WriteConfig(const std::u16string& content) const {
  testing_support::write_native_file(native_path(config_path_), text::to_utf16le(content));
}

}  // namespace library_testing
