#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/handle.h"
#include "platform/os.h"
#include "text/utf.h"

namespace {

// A key of its own under HKLM\Software, removed afterwards.
class Win32Registry : public testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    path_ = u"Software\\vostusb-test-" + text::widen_ascii(std::to_string(random()));
    DWORD disposition = 0;
    ASSERT_EQ(os::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, key_.put(), &disposition),
              static_cast<LSTATUS>(ERROR_SUCCESS));
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  }
  void TearDown() override {
    key_.reset();
    os::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (path_ + u"\\Podklucz ł").c_str());
    os::RegDeleteKeyW(HKEY_LOCAL_MACHINE, path_.c_str());
  }

  std::u16string path_;
  os::unique_hkey key_;
};

TEST_F(Win32Registry, NamesAndValuesCrossUnchanged) {
  // Stored without its terminator: it reads back without one. (Followed by a zero, a string
  // value would gain it: Wine counts a zero right after the data in, and says NT does the same.)
  const std::u16string data = u"zażółć";
  const std::u16string stored = data + u"X";
  ASSERT_EQ(os::RegSetValueExW(key_.get(), u"Wartość", 0, REG_SZ, reinterpret_cast<const BYTE*>(stored.data()),
                               static_cast<DWORD>(data.size() * sizeof(char16_t))),
            static_cast<LSTATUS>(ERROR_SUCCESS));

  DWORD type = 0;
  DWORD size = 0;
  ASSERT_EQ(os::RegQueryValueExW(key_.get(), u"wartość", nullptr, &type, nullptr, &size),
            static_cast<LSTATUS>(ERROR_SUCCESS));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  ASSERT_EQ(size, data.size() * sizeof(char16_t));
  std::u16string back(data.size(), u'\0');
  ASSERT_EQ(os::RegQueryValueExW(key_.get(), u"Wartość", nullptr, &type, reinterpret_cast<BYTE*>(back.data()), &size),
            static_cast<LSTATUS>(ERROR_SUCCESS));
  EXPECT_EQ(back, data);

  char16_t name[32] = {};
  DWORD name_size = 32;
  ASSERT_EQ(os::RegEnumValueW(key_.get(), 0, name, &name_size, nullptr, nullptr, nullptr, nullptr),
            static_cast<LSTATUS>(ERROR_SUCCESS));
  EXPECT_EQ(std::u16string(name, name_size), u"Wartość");
  name_size = 32;
  EXPECT_EQ(os::RegEnumValueW(key_.get(), 1, name, &name_size, nullptr, nullptr, nullptr, nullptr),
            static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS));

  EXPECT_EQ(os::RegDeleteValueW(key_.get(), u"WARTOŚĆ"), static_cast<LSTATUS>(ERROR_SUCCESS));
  EXPECT_EQ(os::RegQueryValueExW(key_.get(), u"Wartość", nullptr, nullptr, nullptr, nullptr),
            static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Win32Registry, SubkeysEnumerateAndOpen) {
  os::unique_hkey sub;
  ASSERT_EQ(os::RegCreateKeyExW(key_.get(), u"Podklucz ł", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                nullptr, sub.put(), nullptr),
            static_cast<LSTATUS>(ERROR_SUCCESS));
  char16_t name[32] = {};
  DWORD name_size = 32;
  ASSERT_EQ(os::RegEnumKeyExW(key_.get(), 0, name, &name_size, nullptr, nullptr, nullptr, nullptr),
            static_cast<LSTATUS>(ERROR_SUCCESS));
  EXPECT_EQ(std::u16string(name, name_size), u"Podklucz ł");

  os::unique_hkey opened;
  EXPECT_EQ(os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (path_ + u"\\PODKLUCZ Ł").c_str(), 0, KEY_READ, opened.put()),
            static_cast<LSTATUS>(ERROR_SUCCESS));
  EXPECT_EQ(os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (path_ + u"\\missing").c_str(), 0, KEY_READ, opened.put()),
            static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
