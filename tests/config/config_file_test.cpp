#include "config/config_file.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "config/config_host.h"
#include "config/scramble.h"
#include "platform/handle.h"
#include "process/diagnostics.h"
#include "support/debug_output.h"
#include "text/utf.h"

using testing_support::read_native_file;
using testing_support::utf16_bytes;

namespace {

const std::string kConfig = R"({"usb":{"active":1,"action":0}})";
const std::string kInstallConfig = R"({"usb":{"active":1,"action":2,"rules":[]}})";

std::string serialised(const std::string& json) {
  CJsonNode node;
  node.parse(text::from_utf8(json));
  return text::to_utf8(node.serialise(0));
}

// The local time stamp `seconds` after `stamp` ("%.4i%.2i%.2i%.2i%.2i%.2i").
std::string stamp_after(const std::string& stamp, int seconds) {
  std::tm t{};
  t.tm_year = std::stoi(stamp.substr(0, 4)) - 1900;
  t.tm_mon = std::stoi(stamp.substr(4, 2)) - 1;
  t.tm_mday = std::stoi(stamp.substr(6, 2));
  t.tm_hour = std::stoi(stamp.substr(8, 2));
  t.tm_min = std::stoi(stamp.substr(10, 2));
  t.tm_sec = std::stoi(stamp.substr(12, 2)) + seconds;
  t.tm_isdst = -1;
  std::mktime(&t);
  char out[32];
  std::strftime(out, sizeof out, "%Y%m%d%H%M%S", &t);
  return out;
}

}  // namespace

class ConfigFile : public testing_support::ConfigHost {
 protected:
  void SetUp() override {
    ConfigHost::SetUp();
    file.pause = [this](DWORD ms) {
      pauses.push_back(ms);
      if (on_pause) on_pause(pauses.size());
    };
  }
  int load(const std::u16string& folder = u"") { return file.load(u"cfg.json", folder); }
  std::string document() { return text::to_utf8(file.document().serialise(0)); }

  CConfigFile file;
  std::vector<DWORD> pauses;
  std::function<void(std::size_t)> on_pause;  // called with the number of pauses so far
};

TEST_F(ConfigFile, EveryStoredFormLoadsAlike) {
  const struct {
    const char* form;
    std::string bytes;
  } cases[] = {
      {"narrow", kConfig},
      {"utf-16le", utf16_bytes(kConfig)},
      {"utf-16le with byte-order mark", utf16_bytes(kConfig, true)},
      {"scrambled narrow", scramble::scramble_file(kConfig)},
      {"scrambled utf-16le with byte-order mark", scramble::scramble_file(utf16_bytes(kConfig, true))},
      {"text ending at a NUL", kConfig + std::string("\0\0junk", 6)},
  };
  for (const auto& c : cases) {
    write_config(c.bytes);
    CConfigFile fresh;
    fresh.pause = [this](DWORD ms) { pauses.push_back(ms); };
    EXPECT_EQ(1, fresh.load(u"cfg.json", u"")) << c.form;
    EXPECT_EQ(serialised(kConfig), text::to_utf8(fresh.document().serialise(0))) << c.form;
  }
  EXPECT_TRUE(pauses.empty());
}

TEST_F(ConfigFile, DefaultFolderIsTheDataFolder) {
  write_config(kConfig);
  EXPECT_EQ(1, load());
  EXPECT_EQ(win_path("all users") + u"\\kavenor\\cfg\\cfg.json", file.file_path());
}

TEST_F(ConfigFile, AskedFolderComesFirst) {
  write_config(kInstallConfig);
  testing_support::write_native_file(native_dir() + "/elsewhere/cfg.json", kConfig);
  EXPECT_EQ(1, load(win_path("elsewhere")));
  EXPECT_EQ(serialised(kConfig), document());
  EXPECT_EQ(win_path("elsewhere") + u"\\cfg.json", file.file_path());
}

TEST_F(ConfigFile, MissingOrEmptyFileFallsBackToTheInstallationCopy) {
  write_install("cfg.json", scramble::scramble_file(kInstallConfig));
  EXPECT_EQ(1, load());
  EXPECT_EQ(serialised(kInstallConfig), document());
  // The path keeps the first place tried.
  EXPECT_EQ(win_path("all users") + u"\\kavenor\\cfg\\cfg.json", file.file_path());

  write_config("");
  CConfigFile again;
  EXPECT_EQ(1, again.load(u"cfg.json", u""));
  EXPECT_EQ(serialised(kInstallConfig), text::to_utf8(again.document().serialise(0)));
}

TEST_F(ConfigFile, NothingToReadIsNotRetried) {
  const struct {
    const char* what;
    const char* config;  // null: no file
    const char* install;
  } cases[] = {
      {"no file anywhere", nullptr, nullptr},
      {"empty file, no copy", "", nullptr},
      {"two bytes", "{}", nullptr},
      {"three bytes, even with a copy", "{ }", kInstallConfig.c_str()},
      {"no file, short installation copy", nullptr, "{}"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(native_dir() + "/all users");
    std::filesystem::remove_all(native_dir() + "/install");
    if (c.config) write_config(c.config);
    if (c.install) write_install("cfg.json", c.install);
    CConfigFile fresh;
    fresh.pause = [this](DWORD ms) { pauses.push_back(ms); };
    EXPECT_EQ(0, fresh.load(u"cfg.json", u"")) << c.what;
    EXPECT_EQ("{\r\n}", text::to_utf8(fresh.document().serialise(0))) << c.what;
    EXPECT_TRUE(backups().empty()) << c.what;
  }
  EXPECT_TRUE(pauses.empty());
}

TEST_F(ConfigFile, EmptyObjectIsTriedSevenTimesThenReplacedByTheInstallationCopy) {
  write_config("{  }");
  write_install("cfg.json", scramble::scramble_file(kInstallConfig));
  std::vector<std::size_t> backups_at_pause;
  on_pause = [&](std::size_t) { backups_at_pause.push_back(backups().size()); };

  EXPECT_EQ(1, load());

  // Five pauses between the first six tries, none of them after the recovery; the seventh try
  // reads the restored file.
  EXPECT_EQ(std::vector<DWORD>(5, 1000), pauses);
  EXPECT_EQ(std::vector<std::size_t>(5, 0), backups_at_pause);
  EXPECT_EQ(serialised(kInstallConfig), document());
  const auto names = backups();
  ASSERT_EQ(1u, names.size());
  EXPECT_EQ(utf16_bytes("{  }"), read_native_file(config_folder_native() + "/" + names[0]));
  // The restored file is the copy's decoded text, UTF-16LE without byte-order mark.
  EXPECT_EQ(utf16_bytes(kInstallConfig), read_native_file(config_native()));
}

TEST_F(ConfigFile, BrokenFileWithoutInstallationCopyIsBackedUpAndDeleted) {
  const struct {
    const char* what;
    std::string bytes;
    std::string backup;
  } cases[] = {
      {"not JSON", "this is not a configuration", utf16_bytes("this is not a configuration")},
      {"scrambled empty object, backed up plain", scramble::scramble_file(utf16_bytes("{ }\r\n", true)), utf16_bytes("{ }\r\n")},
      {"member name without a value", "{\"usb\"}", utf16_bytes("{\"usb\"}")},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(native_dir() + "/all users");
    pauses.clear();
    write_config(c.bytes);
    CConfigFile fresh;
    fresh.pause = [this](DWORD ms) { pauses.push_back(ms); };
    EXPECT_EQ(0, fresh.load(u"cfg.json", u"")) << c.what;
    EXPECT_EQ(std::vector<DWORD>(5, 1000), pauses) << c.what;
    EXPECT_FALSE(std::filesystem::exists(config_native())) << c.what;
    const auto names = backups();
    ASSERT_EQ(1u, names.size()) << c.what;
    EXPECT_EQ(c.backup, read_native_file(config_folder_native() + "/" + names[0])) << c.what;
  }
}

TEST_F(ConfigFile, BrokenInstallationCopyReplacesTheFileAndTheLoadFails) {
  write_config("{}{}");
  write_install("cfg.json", "still {} not");
  EXPECT_EQ(0, load());
  EXPECT_EQ(utf16_bytes("still {} not"), read_native_file(config_native()));
  EXPECT_EQ(1u, backups().size());
}

TEST_F(ConfigFile, ReadOnlyFilesAreReadAndRecovered) {
  write_install("cfg.json", kInstallConfig);
  write_config("{  }");
  namespace fs = std::filesystem;
  fs::permissions(config_native(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove);
  fs::permissions(install_native("cfg.json"), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_EQ(1, load());
  EXPECT_EQ(serialised(kInstallConfig), document());
  EXPECT_EQ(utf16_bytes(kInstallConfig), read_native_file(config_native()));
}

TEST_F(ConfigFile, FileThatCannotBeBackedUpIsKept) {
  write_config("{  }");
  write_install("cfg.json", kInstallConfig);
  // Just before the recovery, every name the backup could take is made a folder.
  on_pause = [&](std::size_t count) {
    if (count != 5) return;
    const std::string now = text::to_utf8(diag::local_time_stamp());
    for (int s = -1; s <= 5; ++s) std::filesystem::create_directories(config_folder_native() + "/cfg.json." + stamp_after(now, s));
  };
  EXPECT_EQ(0, load());
  EXPECT_EQ("{  }", read_native_file(config_native()));
}

TEST_F(ConfigFile, WaitsWhileTheLoadingMutexIsHeld) {
  write_config(kConfig);
  os::unique_handle writer(os::CreateMutexW(nullptr, FALSE, kLoadingMutex));
  ASSERT_TRUE(writer);
  on_pause = [&](std::size_t count) {
    if (count == 3) writer.reset();
  };
  EXPECT_EQ(1, load());
  EXPECT_EQ(std::vector<DWORD>(3, 100), pauses);
}

TEST_F(ConfigFile, LoadingMutexNeverReleasedBoundsTheWaitOverAllTries) {
  write_config("{  }");
  write_install("cfg.json", kInstallConfig);
  os::unique_handle writer(os::CreateMutexW(nullptr, FALSE, kLoadingMutex));
  ASSERT_TRUE(writer);
  testing_support::DebugOutput output(native_dir());
  ASSERT_EQ("", output.error());
  EXPECT_EQ(1, load());
  std::vector<DWORD> expected(CConfigFile::kLoadingMutexPolls, 100);
  expected.insert(expected.end(), 5, 1000);
  EXPECT_EQ(expected, pauses);
  int gave_up = 0;
  for (const auto& line : output.stop()) gave_up += line.find(u"Loading mutex still held") != std::u16string::npos;
  EXPECT_EQ(1, gave_up);
}

TEST_F(ConfigFile, UnrelatedMutexIsNoReasonToWait) {
  write_config(kConfig);
  os::unique_handle other(os::CreateMutexW(nullptr, FALSE, u"VOSTREL_LOADING_CONFIG_INP"));  // local, not Global
  EXPECT_EQ(1, load());
  EXPECT_TRUE(pauses.empty());
}
