// Registry semantics through os::, meant to hold on Windows as on the simulated host.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/handle.h"
#include "platform/os.h"
#include "support/run_command.h"
#include "support/sim_root.h"
#include "text/utf.h"

namespace {

// Every test works below a key of its own (Wine runs all tests on one machine, some at once).
const std::string kParent = "Software\\vostusb-platform-test\\";

std::string own_key_name() { return kParent + ::testing::UnitTest::GetInstance()->current_test_info()->name(); }

class RegistryCalls : public testing_support::FreshHost {
 protected:
  void SetUp() override {
    FreshHost::SetUp();
    base_ = text::from_utf8(own_key_name());
    delete_tree(HKEY_LOCAL_MACHINE, base_);  // left over from an interrupted run
  }
  void TearDown() override {
    delete_tree(HKEY_LOCAL_MACHINE, base_);
    FreshHost::TearDown();
  }

  static void delete_tree(HKEY root, const std::u16string& subkey) {
    os::unique_hkey key;
    if (os::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
    char16_t name[256];
    DWORD size = 256;
    while (os::RegEnumKeyExW(key.get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
      delete_tree(key.get(), name);
      size = 256;
    }
    key.reset();
    os::RegDeleteKeyW(root, subkey.c_str());
  }

  std::u16string base_;

  os::unique_hkey create(const std::u16string& subkey, REGSAM access = KEY_ALL_ACCESS, DWORD* disposition = nullptr) {
    os::unique_hkey key;
    EXPECT_EQ(ERROR_SUCCESS, os::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (base_ + subkey).c_str(), 0, nullptr, 0, access,
                                                 nullptr, key.put(), disposition));
    return key;
  }

  LSTATUS open(const std::u16string& subkey, REGSAM access, os::unique_hkey& key) {
    return os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (base_ + subkey).c_str(), 0, access, key.put());
  }

  // Windows' RegSetValueExW peeks past a string's data and stores a terminator that the caller left
  // out when it finds one there; non-zero bytes after the data keep it to the bytes given.
  static void set_bytes(HKEY key, const char16_t* name, DWORD type, const std::string& bytes) {
    const std::string followed = bytes + "\xff\xff";
    ASSERT_EQ(ERROR_SUCCESS, os::RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(followed.data()),
                                                static_cast<DWORD>(bytes.size())));
  }

  static void set_dword(HKEY key, const char16_t* name, DWORD value) {
    ASSERT_EQ(ERROR_SUCCESS, os::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4));
  }

  // The value's bytes and type; the status when it cannot be read.
  static LSTATUS get(HKEY key, const char16_t* name, std::string& bytes, DWORD& type) {
    DWORD size = 0;
    LSTATUS status = os::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) return status;
    bytes.assign(size, '\0');
    status = os::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size);
    bytes.resize(size);
    return status;
  }

  static std::vector<std::u16string> subkey_names(HKEY key) {
    std::vector<std::u16string> names;
    char16_t name[256];
    for (DWORD i = 0;; ++i) {
      DWORD size = 256;
      if (os::RegEnumKeyExW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      names.emplace_back(name, size);
    }
    return names;
  }

  static std::vector<std::u16string> value_names(HKEY key) {
    std::vector<std::u16string> names;
    char16_t name[256];
    for (DWORD i = 0;; ++i) {
      DWORD size = 256;
      if (os::RegEnumValueW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      names.emplace_back(name, size);
    }
    return names;
  }
};

std::string utf16_bytes(std::u16string_view text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

}  // namespace

TEST_F(RegistryCalls, KeysAreCreatedLevelByLevelAndFoundWithoutCase) {
  DWORD disposition = 0;
  create(u"\\Kavenor\\Deep\\Leaf", KEY_ALL_ACCESS, &disposition);
  EXPECT_EQ(REG_CREATED_NEW_KEY, disposition);
  create(u"\\KAVENOR\\deep\\LEAF", KEY_ALL_ACCESS, &disposition);
  EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);

  os::unique_hkey key;
  EXPECT_EQ(ERROR_SUCCESS, open(u"\\kavenor\\DEEP", KEY_READ, key));
  // The spelling of the first creation stays.
  os::unique_hkey base;
  ASSERT_EQ(ERROR_SUCCESS, open(u"", KEY_READ, base));
  EXPECT_EQ(std::vector<std::u16string>{u"Kavenor"}, subkey_names(base.get()));
  EXPECT_EQ(std::vector<std::u16string>{u"Leaf"}, subkey_names(key.get()));

  os::unique_hkey missing;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, open(u"\\Kavenor\\Missing", KEY_READ, missing));
  EXPECT_FALSE(missing);
}

TEST_F(RegistryCalls, ValueNamesCompareWithoutCaseAndKeepTheirSpelling) {
  auto key = create(u"");
  set_dword(key.get(), u"RootPath", 1);
  set_dword(key.get(), u"ROOTPATH", 2);  // the same value
  std::string bytes;
  DWORD type = 0;
  ASSERT_EQ(ERROR_SUCCESS, get(key.get(), u"rootpath", bytes, type));
  EXPECT_EQ(REG_DWORD, type);
  EXPECT_EQ(std::string("\x02\0\0\0", 4), bytes);
  EXPECT_EQ(std::vector<std::u16string>{u"RootPath"}, value_names(key.get()));
  // Polish letters fold too.
  set_dword(key.get(), u"Źródło", 3);
  ASSERT_EQ(ERROR_SUCCESS, get(key.get(), u"źRÓDŁO", bytes, type));
}

TEST_F(RegistryCalls, StringBytesAreKeptExactlyWithOrWithoutTerminator) {
  auto key = create(u"");
  const std::u16string path = u"C:\\Program Files\\kavenor";
  set_bytes(key.get(), u"Bare", REG_SZ, utf16_bytes(path));
  set_bytes(key.get(), u"Terminated", REG_SZ, utf16_bytes(std::u16string_view(path.c_str(), path.size() + 1)));
  set_bytes(key.get(), u"Odd", REG_SZ, std::string("A\0B", 3));
  set_bytes(key.get(), u"Empty", REG_EXPAND_SZ, "");
  set_bytes(key.get(), u"Multi", REG_MULTI_SZ, utf16_bytes(std::u16string(u"a\0b\0\0", 5)));

  struct Case {
    const char16_t* name;
    DWORD type;
    std::string bytes;
  };
  const Case cases[] = {
      {u"Bare", REG_SZ, utf16_bytes(path)},
      {u"Terminated", REG_SZ, utf16_bytes(path) + std::string(2, '\0')},
      {u"Odd", REG_SZ, std::string("A\0B", 3)},
      {u"Empty", REG_EXPAND_SZ, ""},
      {u"Multi", REG_MULTI_SZ, utf16_bytes(std::u16string(u"a\0b\0\0", 5))},
  };
  for (const Case& c : cases) {
    std::string bytes;
    DWORD type = 0;
    ASSERT_EQ(ERROR_SUCCESS, get(key.get(), c.name, bytes, type)) << text::to_utf8(c.name);
    EXPECT_EQ(c.type, type);
    EXPECT_EQ(c.bytes, bytes);
  }
}

TEST_F(RegistryCalls, QueryFollowsWin32SizeRules) {
  auto key = create(u"");
  const std::string data = utf16_bytes(u"twelve chars");  // 24 bytes
  set_bytes(key.get(), u"Text", REG_SZ, data);

  DWORD type = 0, size = 0;
  EXPECT_EQ(ERROR_SUCCESS, os::RegQueryValueExW(key.get(), u"Text", nullptr, &type, nullptr, &size));  // size query
  EXPECT_EQ(24u, size);
  EXPECT_EQ(REG_SZ, type);

  BYTE buffer[64];
  size = 10;
  type = 0;
  EXPECT_EQ(ERROR_MORE_DATA, os::RegQueryValueExW(key.get(), u"Text", nullptr, &type, buffer, &size));
  EXPECT_EQ(24u, size);
  EXPECT_EQ(REG_SZ, type);

  size = 24;  // exactly enough
  EXPECT_EQ(ERROR_SUCCESS, os::RegQueryValueExW(key.get(), u"Text", nullptr, nullptr, buffer, &size));
  EXPECT_EQ(0, std::memcmp(buffer, data.data(), 24));

  size = sizeof buffer;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, os::RegQueryValueExW(key.get(), u"Missing", nullptr, &type, buffer, &size));
  EXPECT_EQ(ERROR_SUCCESS, os::RegQueryValueExW(key.get(), u"Text", nullptr, nullptr, nullptr, nullptr));  // exists
}

TEST_F(RegistryCalls, TypesAreReportedAsStoredNeverConverted) {
  auto key = create(u"");
  set_dword(key.get(), u"Number", 0x01020304);
  set_bytes(key.get(), u"Blob", REG_BINARY, std::string("\x00\xff\x10", 3));
  set_bytes(key.get(), u"Custom", 0x1234, "xyz");
  std::string bytes;
  DWORD type = 0;
  ASSERT_EQ(ERROR_SUCCESS, get(key.get(), u"Number", bytes, type));
  EXPECT_EQ(REG_DWORD, type);
  EXPECT_EQ(std::string("\x04\x03\x02\x01", 4), bytes);
  ASSERT_EQ(ERROR_SUCCESS, get(key.get(), u"Blob", bytes, type));
  EXPECT_EQ(REG_BINARY, type);
  EXPECT_EQ(std::string("\x00\xff\x10", 3), bytes);
  ASSERT_EQ(ERROR_SUCCESS, get(key.get(), u"Custom", bytes, type));
  EXPECT_EQ(0x1234u, type);
  EXPECT_EQ("xyz", bytes);
}

TEST_F(RegistryCalls, DefaultValueIsNamedByNullOrEmpty) {
  auto key = create(u"");
  set_dword(key.get(), nullptr, 5);
  std::string bytes;
  DWORD type = 0;
  ASSERT_EQ(ERROR_SUCCESS, get(key.get(), u"", bytes, type));
  EXPECT_EQ(std::string("\x05\0\0\0", 4), bytes);
  EXPECT_EQ(ERROR_SUCCESS, os::RegDeleteValueW(key.get(), u""));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, get(key.get(), nullptr, bytes, type));
}

TEST_F(RegistryCalls, DeletingValuesAndLeafKeys) {
  auto key = create(u"\\Parent\\Child");
  set_dword(key.get(), u"v", 1);
  EXPECT_EQ(ERROR_SUCCESS, os::RegDeleteValueW(key.get(), u"V"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, os::RegDeleteValueW(key.get(), u"v"));

  const std::u16string parent = base_ + u"\\Parent";
  EXPECT_EQ(ERROR_ACCESS_DENIED, os::RegDeleteKeyW(HKEY_LOCAL_MACHINE, parent.c_str()));  // it has a subkey
  EXPECT_EQ(ERROR_SUCCESS, os::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (parent + u"\\CHILD").c_str()));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, os::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (parent + u"\\Child").c_str()));
  // A handle to a deleted key stays open but reaches nothing.
  std::string bytes;
  DWORD type = 0;
  EXPECT_EQ(ERROR_KEY_DELETED, get(key.get(), u"v", bytes, type));
  EXPECT_EQ(ERROR_SUCCESS, os::RegDeleteKeyW(HKEY_LOCAL_MACHINE, parent.c_str()));
}

TEST_F(RegistryCalls, EnumerationOrderAndBufferRules) {
  auto key = create(u"");
  for (const char16_t* name : {u"beta", u"Alpha", u"gamma"}) create(std::u16string(u"\\") + name);
  EXPECT_EQ((std::vector<std::u16string>{u"Alpha", u"beta", u"gamma"}), subkey_names(key.get()));
  for (const char16_t* name : {u"z", u"a", u"m"}) set_dword(key.get(), name, 1);
  const auto values = value_names(key.get());
  EXPECT_EQ(3u, values.size());

  char16_t name[8];
  DWORD size = 5;  // "Alpha" needs 6 with its terminator
  EXPECT_EQ(ERROR_MORE_DATA, os::RegEnumKeyExW(key.get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr));
  size = 6;
  EXPECT_EQ(ERROR_SUCCESS, os::RegEnumKeyExW(key.get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(5u, size);
  EXPECT_EQ(std::u16string(u"Alpha"), name);
  size = 8;
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, os::RegEnumKeyExW(key.get(), 3, name, &size, nullptr, nullptr, nullptr, nullptr));

  // Value data: a size query, then too small a buffer.
  DWORD type = 0, data_size = 0;
  size = 8;
  EXPECT_EQ(ERROR_SUCCESS, os::RegEnumValueW(key.get(), 0, name, &size, nullptr, &type, nullptr, &data_size));
  EXPECT_EQ(REG_DWORD, type);
  EXPECT_EQ(4u, data_size);
  BYTE data[2];
  data_size = 2;
  size = 8;
  EXPECT_EQ(ERROR_MORE_DATA, os::RegEnumValueW(key.get(), 0, name, &size, nullptr, &type, data, &data_size));
  EXPECT_EQ(4u, data_size);
  size = 8;
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, os::RegEnumValueW(key.get(), 3, name, &size, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(RegistryCalls, AccessRightsOfTheHandleAreEnforced) {
  create(u"");
  os::unique_hkey reader;
  ASSERT_EQ(ERROR_SUCCESS, open(u"", KEY_READ, reader));
  const DWORD value = 1;
  EXPECT_EQ(ERROR_ACCESS_DENIED, os::RegSetValueExW(reader.get(), u"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4));
  EXPECT_EQ(ERROR_ACCESS_DENIED, os::RegDeleteValueW(reader.get(), u"v"));
  os::unique_hkey child;
#ifndef _WIN32
  // Windows wants KEY_CREATE_SUB_KEY on the parent to create a key below it; Wine does not check.
  EXPECT_EQ(ERROR_ACCESS_DENIED,
            os::RegCreateKeyExW(reader.get(), u"New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, child.put(), nullptr));
#endif

  os::unique_hkey writer;
  ASSERT_EQ(ERROR_SUCCESS, open(u"", KEY_WRITE, writer));
  EXPECT_EQ(ERROR_SUCCESS, os::RegSetValueExW(writer.get(), u"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4));
  DWORD size = 4;
  DWORD read = 0;
  EXPECT_EQ(ERROR_ACCESS_DENIED, os::RegQueryValueExW(writer.get(), u"v", nullptr, nullptr, reinterpret_cast<BYTE*>(&read), &size));
  EXPECT_EQ(ERROR_SUCCESS, os::RegCreateKeyExW(writer.get(), u"New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, child.put(), nullptr));
}

TEST_F(RegistryCalls, AKeyClosesOnce) {
  os::unique_hkey key = create(u"");
  HKEY raw = key.release();
  EXPECT_EQ(ERROR_SUCCESS, os::RegCloseKey(raw));
  EXPECT_EQ(ERROR_INVALID_HANDLE, os::RegCloseKey(raw));
  EXPECT_EQ(ERROR_SUCCESS, os::RegCloseKey(HKEY_LOCAL_MACHINE));  // predefined keys stay usable
  os::unique_hkey again;
  EXPECT_EQ(ERROR_SUCCESS, open(u"", KEY_READ, again));
}

TEST_F(RegistryCalls, WritersInTwoProcessesLoseNoValue) {
  create(u"");
  constexpr int kCount = 150;
  const std::string key_name = own_key_name();
  std::vector<testing_support::CommandResult> results(2);
  std::vector<std::thread> writers;
  for (int i = 0; i < 2; ++i) {
    writers.emplace_back([&, i] {
      const std::string scratch = native_dir() + "/writer" + std::to_string(i);
      std::filesystem::create_directories(scratch);
      results[i] = testing_support::run_built(
          "platform_helper", {"reg-fill", key_name, "p" + std::to_string(i) + "_", std::to_string(kCount)},
          scratch);
    });
  }
  for (auto& w : writers) w.join();
  for (const auto& r : results) ASSERT_EQ(0, r.status) << r.err;

  os::unique_hkey key;
  ASSERT_EQ(ERROR_SUCCESS, open(u"", KEY_READ, key));
  EXPECT_EQ(2u * kCount, value_names(key.get()).size());
  for (int process = 0; process < 2; ++process) {
    for (int i = 0; i < kCount; i += 37) {
      const std::u16string name = text::widen_ascii("p" + std::to_string(process) + "_" + std::to_string(i));
      std::string bytes;
      DWORD type = 0;
      ASSERT_EQ(ERROR_SUCCESS, get(key.get(), name.c_str(), bytes, type));
      DWORD stored = 0;
      std::memcpy(&stored, bytes.data(), 4);
      EXPECT_EQ(static_cast<DWORD>(i), stored);
    }
  }
}

#ifndef _WIN32
TEST_F(RegistryCalls, OnlyLocalMachineExistsOnTheSimulatedHost) {
  const HKEY current_user = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000001)));
  os::unique_hkey key;
  EXPECT_EQ(ERROR_INVALID_HANDLE, os::RegOpenKeyExW(current_user, u"Software", 0, KEY_READ, key.put()));
  EXPECT_EQ(ERROR_BAD_PATHNAME, os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\\\x", 0, KEY_READ, key.put()));
}
#endif
