// The simulated registry's file: its text form, its robustness against damage and killed writers.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/handle.h"
#include "platform/os.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/registry_tree.h"
#include "support/sim_root.h"
#include "text/utf.h"

extern char** environ;

namespace {

using os::sim::RegistryKey;

class RegistryFile : public testing_support::FreshHost {
 protected:
  static void set(const std::u16string& subkey, const char16_t* name, DWORD type, const std::string& bytes) {
    os::unique_hkey key;
    ASSERT_EQ(ERROR_SUCCESS, os::RegCreateKeyExW(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, key.put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, os::RegSetValueExW(key.get(), name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                                static_cast<DWORD>(bytes.size())));
  }
};

std::string utf16(std::u16string_view text) { return text::to_utf16le(text); }

bool same_tree(const RegistryKey& a, const RegistryKey& b) {
  if (a.name != b.name || a.values.size() != b.values.size() || a.subkeys.size() != b.subkeys.size()) return false;
  for (std::size_t i = 0; i < a.values.size(); ++i) {
    const auto& x = a.values[i];
    const auto& y = b.values[i];
    if (x.name != y.name || x.type != y.type || x.data != y.data) return false;
  }
  for (std::size_t i = 0; i < a.subkeys.size(); ++i) {
    if (!same_tree(a.subkeys[i], b.subkeys[i])) return false;
  }
  return true;
}

}  // namespace

TEST_F(RegistryFile, IsReadableText) {
  set(u"Software\\kavenor", u"RootPath", REG_SZ, utf16(u"C:\\Program Files\\kavenor"));
  const DWORD ln = 42;
  set(u"Software\\kavenor", u"ln", REG_DWORD, std::string(reinterpret_cast<const char*>(&ln), 4));
  set(u"SYSTEM\\CurrentControlSet\\Services\\vostusb", u"ImagePath", REG_EXPAND_SZ,
      utf16(std::u16string(u"system32\\drivers\\vostusb.sys\0", 29)));
  const std::string text = testing_support::read_native_file(os::sim::registry_file_path());
  EXPECT_NE(std::string::npos, text.find("\n[Software\\kavenor]\n"
                                         "\"RootPath\"=sz:\"C:\\\\Program Files\\\\kavenor\"\n"
                                         "\"ln\"=dword:0000002a\n"));
  EXPECT_NE(std::string::npos, text.find("\n[SYSTEM\\CurrentControlSet\\Services\\vostusb]\n"
                                         "\"ImagePath\"=expand_sz:\"system32\\\\drivers\\\\vostusb.sys\\0\"\n"));
}

TEST_F(RegistryFile, EveryNameAndByteSurvivesTheTextForm) {
  RegistryKey root;
  root.set_value(u"", REG_SZ, utf16(u"root default"));
  RegistryKey& odd = root.add_subkey(u"100% [odd]\x01\xD800 Zażółć \U0001F600");
  odd.set_value(u"quote\" back\\slash \t\r\n\x7f\xDC00 end", REG_MULTI_SZ, utf16(std::u16string(u"a\0b\0\0", 5)));
  odd.set_value(u"odd string", REG_SZ, std::string("A\0B", 3));
  odd.set_value(u"short dword", REG_DWORD, "\x01\x02");
  odd.set_value(u"qword", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
  odd.set_value(u"custom", 0xDEADBEEF, std::string("\x00\xFF", 2));
  odd.set_value(u"empty", REG_BINARY, "");
  odd.add_subkey(u"child").set_value(u"n", REG_NONE, "");
  root.add_subkey(u"empty key");

  const std::string text = os::sim::to_text(root);
  std::size_t bad_line = 0;
  const auto back = os::sim::from_text(text, &bad_line);
  ASSERT_TRUE(back) << "line " << bad_line << "\n" << text;
  EXPECT_TRUE(same_tree(root, *back)) << text;
  EXPECT_EQ(text, os::sim::to_text(*back));
}

TEST_F(RegistryFile, HandEditedFilesAreReadAndBadLinesNamed) {
  const auto tree = os::sim::from_text("# comment\r\n\r\n[Software\\kavenor]\r\n\"RootPath\"=sz:\"C:\\\\x\"\r\n@=hex:01,02\r\n");
  ASSERT_TRUE(tree);
  const RegistryKey* key = os::sim::find_key(*tree, {u"SOFTWARE", u"KAVENOR"});
  ASSERT_NE(nullptr, key);
  ASSERT_EQ(2u, key->values.size());
  EXPECT_EQ(utf16(u"C:\\x"), key->values[0].data);
  EXPECT_EQ(u"", key->values[1].name);

  const char* bad[] = {
      "[Software\n",                   // no closing bracket
      "[a\\\\b]\n",                     // an empty key name
      "\"v\"=sz:\"unterminated\n",
      "\"v\"=dword:123456789\n",         // nine digits
      "\"v\"=hex:1,2\n",
      "\"v\"=text:\"x\"\n",
      "\"v\"=sz:\"bad \\q escape\"\n",
      "\"\"=dword:1\n",                  // the default value is written @
  };
  for (const char* text : bad) {
    std::size_t line = 0;
    EXPECT_FALSE(os::sim::from_text(std::string("# ok\n") + text, &line)) << text;
    EXPECT_EQ(2u, line) << text;
  }
}

TEST_F(RegistryFile, ADamagedFileIsReportedAndLeftAsItIs) {
  set(u"Software\\kavenor", u"v", REG_SZ, utf16(u"x"));
  const std::string damaged = "[Software\\kavenor]\n\"v\"=sz:\"x\n";
  testing_support::write_native_file(os::sim::registry_file_path(), damaged);
  os::unique_hkey key;
  EXPECT_EQ(ERROR_BADDB, os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\kavenor", 0, KEY_READ, key.put()));
  EXPECT_EQ(ERROR_BADDB, os::RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\new", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             key.put(), nullptr));
  EXPECT_EQ(damaged, testing_support::read_native_file(os::sim::registry_file_path()));
}

TEST_F(RegistryFile, AWriterKilledAtAnyMomentLeavesAWholeRegistry) {
  const std::string helper = std::string(VOSTUSB_BIN_DIR) + "/platform_helper";
  for (int round = 0; round < 3; ++round) {
    const std::string key = "Software\\killed" + std::to_string(round);
    std::vector<std::string> args = {helper, "reg-fill", key, "v", "100000"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(0, posix_spawn(&pid, helper.c_str(), nullptr, nullptr, argv.data(), environ));
    std::this_thread::sleep_for(std::chrono::milliseconds(150 + 70 * round));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);

    // The values written are v0 .. v<n-1>, none missing and none damaged.
    os::unique_hkey opened;
    ASSERT_EQ(ERROR_SUCCESS, os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, text::from_utf8(key).c_str(), 0, KEY_READ, opened.put()));
    DWORD count = 0;
    for (;; ++count) {
      DWORD value = 0, size = 4;
      const std::u16string name = text::from_utf8("v" + std::to_string(count));
      if (os::RegQueryValueExW(opened.get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS) {
        break;
      }
      ASSERT_EQ(count, value);
    }
    char16_t name[64];
    DWORD name_size = 64;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, os::RegEnumValueW(opened.get(), count, name, &name_size, nullptr, nullptr, nullptr, nullptr));
    EXPECT_GT(count, 0u);
  }
}
