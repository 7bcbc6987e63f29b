#include "process/registry.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/sim_root.h"
#include "support/wine.h"
#include "text/utf.h"

namespace {

void set_raw(const std::u16string& subkey, const std::u16string& name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            os::RegCreateKeyExW(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  ASSERT_EQ(ERROR_SUCCESS, os::RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size));
  os::RegCloseKey(key);
}

std::vector<BYTE> get_raw(const std::u16string& subkey, const std::u16string& name, DWORD* type) {
  HKEY key = nullptr;
  std::vector<BYTE> data(1024);
  DWORD size = static_cast<DWORD>(data.size());
  if (os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
  const LSTATUS status = os::RegQueryValueExW(key, name.c_str(), nullptr, type, data.data(), &size);
  os::RegCloseKey(key);
  if (status != ERROR_SUCCESS) return {};
  data.resize(size);
  return data;
}

}  // namespace

class Registry : public testing_support::FreshHost {};

TEST_F(Registry, ReadStringAcceptsOnlyStringTypes) {
  const std::u16string key = u"Software\\kavenor";
  const std::u16string sz = u"C:\\Suite";
  set_raw(key, u"Sz", REG_SZ, sz.c_str(), static_cast<DWORD>((sz.size() + 1) * 2));
  set_raw(key, u"NoTerminator", REG_SZ, sz.data(), static_cast<DWORD>(sz.size() * 2));
  const std::u16string expand = u"%SystemRoot%\\x";
  set_raw(key, u"Expand", REG_EXPAND_SZ, expand.c_str(), static_cast<DWORD>((expand.size() + 1) * 2));
  const DWORD number = 7;
  set_raw(key, u"Number", REG_DWORD, &number, 4);
  const std::u16string long_text(3500, u'q');
  set_raw(key, u"Long", REG_SZ, long_text.c_str(), static_cast<DWORD>((long_text.size() + 1) * 2));

  EXPECT_EQ(sz, registry::reg_read_string(u"SOFTWARE\\KAVENOR", u"sz", u"-"));
  EXPECT_EQ(sz, registry::reg_read_string(key, u"NoTerminator", u"-"));
  EXPECT_EQ(expand, registry::reg_read_string(key, u"Expand", u"-"));
  EXPECT_EQ(u"-", registry::reg_read_string(key, u"Number", u"-"));
  EXPECT_EQ(u"-", registry::reg_read_string(key, u"Missing", u"-"));
  EXPECT_EQ(u"-", registry::reg_read_string(u"Software\\Missing", u"Sz", u"-"));
  EXPECT_EQ(u"-", registry::reg_read_string(key, u"Long", u"-"));  // longer than the 3000-character buffer
}

TEST_F(Registry, ReadDwordAcceptsOnlyDwords) {
  const std::u16string key = u"Software\\kavenor";
  const DWORD number = 1401;
  set_raw(key, u"ln", REG_DWORD, &number, 4);
  set_raw(key, u"text", REG_SZ, u"5", 4);
  set_raw(key, u"short", REG_BINARY, "\x01\x02", 2);
  EXPECT_EQ(1401u, registry::reg_read_dword(key, u"LN", 9));
  EXPECT_EQ(9u, registry::reg_read_dword(key, u"text", 9));
  EXPECT_EQ(9u, registry::reg_read_dword(key, u"short", 9));
  EXPECT_EQ(9u, registry::reg_read_dword(key, u"missing", 9));
}

TEST_F(Registry, WriteStringStoresNoTerminator) {
  ASSERT_EQ(1, registry::reg_write_string(u"Software\\New\\Deep", u"Name", u"abc"));
  DWORD type = 0;
  const std::vector<BYTE> raw = get_raw(u"Software\\New\\Deep", u"Name", &type);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  // Wine (and Windows, by Wine's account) counts the zero that follows the text in memory in.
  if (!testing_support::under_wine()) {
    EXPECT_EQ(6u, raw.size());
  }
  EXPECT_EQ(u"abc", registry::reg_read_string(u"Software\\New\\Deep", u"Name", u""));
}

TEST_F(Registry, WriteDword) {
  ASSERT_EQ(1, registry::reg_write_dword(HKEY_LOCAL_MACHINE, u"Software\\kavenor", u"ln", 1402));
  EXPECT_EQ(1402u, registry::reg_read_dword(u"Software\\kavenor", u"ln", 0));
}

TEST(WindowsFamily, ProductNames) {
  const struct {
    std::u16string product;
    bool member;
  } cases[] = {
      {u"Windows 10 Pro", true},          {u"WINDOWS 10 Enterprise", true}, {u"Windows Server 2019 Standard", true},
      {u"Windows Server 2016 Datacenter", true}, {u"Windows 7 Professional", false}, {u"Windows 8.1", false},
      {u"Windows 11 Pro", false},         {u"", false},                      {u"Windows 100", true},
  };
  for (const auto& c : cases) EXPECT_EQ(c.member, registry::is_windows10_product(c.product)) << text::to_utf8(c.product);
}

TEST_F(Registry, RepairDriverImagePath) {
  const std::u16string key = u"SYSTEM\\CurrentControlSet\\Services\\vostusb";
  const struct {
    std::u16string before;
    bool changed;
    std::u16string after;
  } cases[] = {
      {u"\\SystemRoot\\System32\\drivers\\vostusb.sys", true, u"\\SystemRoot\\System32\\drivers\\vostusb10.sys"},
      {u"C:\\a\\vostusb.sys;C:\\b\\vostusb.sys", true, u"C:\\a\\vostusb10.sys;C:\\b\\vostusb10.sys"},
      {u"C:\\a\\vostusb10.sys", false, u"C:\\a\\vostusb10.sys"},
      {u"C:\\a\\VOSTUSB.SYS", false, u"C:\\a\\VOSTUSB.SYS"},
  };
  for (const auto& c : cases) {
    set_raw(key, u"ImagePath", REG_EXPAND_SZ, c.before.c_str(), static_cast<DWORD>((c.before.size() + 1) * 2));
    EXPECT_EQ(c.changed, registry::repair_driver_image_path(u"vostusb", u"vostusb.sys", u"vostusb10.sys"));
    DWORD type = 0;
    get_raw(key, u"ImagePath", &type);
    EXPECT_EQ(c.after, registry::reg_read_string(key, u"ImagePath", u""));
    EXPECT_EQ(c.changed ? static_cast<DWORD>(REG_SZ) : static_cast<DWORD>(REG_EXPAND_SZ), type);
  }
  EXPECT_FALSE(registry::repair_driver_image_path(u"missing", u"vostusb.sys", u"vostusb10.sys"));
}
