// The driver's registry values and configuration file on a fresh machine (no driver present):
// values of the wrong type or without their terminator, a missing service key, configuration
// documents against validation, and option changes that must never replace a bad file.
#include <gtest/gtest.h>

#include <filesystem>

#include "library_fixture.h"
#include "parsed.h"
#include "platform/handle.h"
#include "text/utf.h"

using namespace VostUsbWardenManager;
using library_testing::ServiceKeyHost;
using testing_support::native_path;

namespace {

std::string Utf8(const std::u16string& s) { return text::to_utf8(s); }

std::string Utf16Bytes(std::u16string_view s) { return text::to_utf16le(s); }

const char* kDefaultsWithHubsOn =
    R"({"capture":true,"filesAndCacheMode":1,"filter":true,"hubs_always_accepted":true,"notify_handle":true})";

using RegistryValues = ServiceKeyHost;

TEST_F(RegistryValues, WrittenAtInstallationAndReadBack) {
  ASSERT_EQ(manager_.SaveRegistryValues(config_path_.c_str(), admittances_path_.c_str(), true, status_), 0u);
  std::u16string value;
  ASSERT_EQ(manager_.GetConfigFile(value, status_), 0u) << Utf8(status_);
  EXPECT_EQ(value, config_path_);
  ASSERT_EQ(manager_.GetAdmittancesFolder(value, status_, false), 0u) << Utf8(status_);
  EXPECT_EQ(value, admittances_path_);

  os::unique_hkey key;
  ASSERT_EQ(os::RegOpenKeyExW(HKEY_LOCAL_MACHINE, library_testing::kTestServiceKey, 0, KEY_READ, key.put()), 0);
  for (const bool active : {false, true}) {
    ASSERT_EQ(manager_.SaveRegistryValues(u"a", u"b", active, status_), 0u);
    DWORD type = 0, data = 7, size = sizeof data;
    ASSERT_EQ(os::RegQueryValueExW(key.get(), u"ServiceActive", nullptr, &type, reinterpret_cast<BYTE*>(&data), &size),
              0);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(data, active ? 1u : 0u);
  }
  EXPECT_TRUE(status_.empty());
}

TEST_F(RegistryValues, MissingServiceKey) {
  DeleteServiceKey();
  EXPECT_EQ(manager_.SaveRegistryValues(u"a", u"b", true, status_), 2u);
  EXPECT_EQ(Utf8(status_), "Nieudane otwarcie klucza rejestru; err=0x00000002");
  std::u16string value = u"unchanged";
  status_.clear();
  EXPECT_EQ(manager_.GetConfigFile(value, status_), 2u);
  EXPECT_EQ(Utf8(status_), "Nieudane otwarcie klucza rejestru; err=0x00000002");
  EXPECT_EQ(Utf8(value), "unchanged");
}

TEST_F(RegistryValues, ValuesAsStored) {
  struct Case {
    const char* name;
    DWORD type;
    std::string bytes;
    std::uint32_t code;
    std::string result_or_status;
  };
  const std::u16string path = u"C:\\ProgramData\\kavenor\\vostusb\\config.json";
  const Case cases[] = {
      {"with terminator", REG_SZ, Utf16Bytes(path) + std::string(2, '\0'), 0, Utf8(path)},
      {"without terminator", REG_SZ, Utf16Bytes(path), 0, Utf8(path)},
      {"odd byte count", REG_SZ, Utf16Bytes(u"ab") + "c", 0, "ab"},
      {"empty", REG_SZ, "", 0, ""},
      {"text up to its first NUL", REG_SZ, Utf16Bytes(std::u16string(u"ab\0cd", 5)), 0, "ab"},
      {"expandable", REG_EXPAND_SZ, Utf16Bytes(path) + std::string(2, '\0'), 592,
       "Wartośc rejestru jest niewłasciwego typu; err=0x00000250"},
      {"number", REG_DWORD, std::string("\1\0\0\0", 4), 592, "Wartośc rejestru jest niewłasciwego typu; err=0x00000250"},
  };
  for (const Case& c : cases) {
    SetRawValue(u"ConfigFilePath", c.type, c.bytes);
    std::u16string value = u"unchanged";
    status_ = u"";
    const std::uint32_t r = manager_.GetConfigFile(value, status_);
    EXPECT_EQ(r, c.code) << c.name;
    EXPECT_EQ(r == 0 ? Utf8(value) : Utf8(status_), c.result_or_status) << c.name;
    if (r != 0) {
      EXPECT_EQ(Utf8(value), "unchanged") << c.name;
    }
  }
}

TEST_F(RegistryValues, MissingValue) {
  std::u16string value;
  EXPECT_EQ(manager_.GetConfigFile(value, status_), 2u);
  EXPECT_EQ(Utf8(status_), "Nieuane pobranie danych o wartości z rejestru; err=0x00000002");
}

TEST_F(RegistryValues, AdmittanceFolderIsCreatedOnlyWhenAsked) {
  ASSERT_EQ(manager_.SaveRegistryValues(config_path_.c_str(), admittances_path_.c_str(), true, status_), 0u);
  std::u16string folder;
  ASSERT_EQ(manager_.GetAdmittancesFolder(folder, status_, false), 0u);
  EXPECT_FALSE(std::filesystem::exists(native_path(admittances_path_)));
  for (int i = 0; i < 2; ++i) {  // the second time it exists already
    ASSERT_EQ(manager_.GetAdmittancesFolder(folder, status_, true), 0u) << Utf8(status_);
    EXPECT_TRUE(std::filesystem::is_directory(native_path(admittances_path_)));
  }
  const std::u16string deep = win_path("no\\such\\adm");
  ASSERT_EQ(manager_.SaveRegistryValues(config_path_.c_str(), deep.c_str(), true, status_), 0u);
  folder = u"unchanged";
  EXPECT_EQ(manager_.GetAdmittancesFolder(folder, status_, true), 3u);
  EXPECT_EQ(Utf8(status_), "Nieudane zapewnienie obecności katalogu; err=0x00000003");
  EXPECT_EQ(Utf8(folder), "unchanged");
}

TEST(ConfigValidation, Documents) {
  struct Case {
    const char16_t* document;
    std::uint32_t code;
  };
  const Case cases[] = {
      {u"{}", 0},
      {uR"({"capture":true,"filter":false,"notify_handle":true,"hubs_always_accepted":false,"filesAndCacheMode":1})", 0},
      {uR"({"filter":0,"capture":1})", 0},
      {uR"({"filesAndCacheMode":0})", 0},
      {uR"({"filesAndCacheMode":3})", 0},
      {uR"({"unknown":"anything","nested":{"filter":"no"}})", 0},
      {u"[]", 592},
      {uR"({"filter":2})", 592},
      {uR"({"filter":"yes"})", 592},
      {uR"({"capture":null})", 592},
      {uR"({"notify_handle":0.5})", 592},
      {uR"({"hubs_always_accepted":[]})", 592},
      {uR"({"filesAndCacheMode":4})", 592},
      {uR"({"filesAndCacheMode":2.5})", 592},
      {uR"({"filesAndCacheMode":-1})", 592},
      {uR"({"filesAndCacheMode":256})", 592},
      {uR"({"filesAndCacheMode":259})", 592},
      {uR"({"filesAndCacheMode":"1"})", 592},
      {uR"({"filesAndCacheMode":true})", 592},
  };
  for (const Case& c : cases) {
    JsonHolder jh = Parsed(c.document);
    std::u16string status = u"before";
    EXPECT_EQ(Manager::ValidateConfigJson(jh, status), c.code) << Utf8(c.document);
    EXPECT_EQ(Utf8(status), c.code == 0 ? "before" : "Bad data in config file; err=0x00000250") << Utf8(c.document);
  }
  for (JsonHolder scalar : {JsonHolder(u"text"), JsonHolder(true), JsonHolder(1.0), JsonHolder()}) {
    std::u16string status;
    EXPECT_EQ(Manager::ValidateConfigJson(scalar, status), 592u) << Utf8(scalar.ToString());
    EXPECT_EQ(Utf8(status), "Bad data in config file; err=0x00000250");
  }
}

class ConfigFile : public ServiceKeyHost {
 protected:
  void SetUp() override {
    ServiceKeyHost::SetUp();
    ASSERT_EQ(manager_.SaveRegistryValues(config_path_.c_str(), admittances_path_.c_str(), true, status_), 0u);
  }
  std::uint32_t SetOption(ConfigTypes mode, OptionID option, bool onoff, unsigned racm = 1) {
    status_.clear();
    return manager_.SetMainOption(mode, 0x222000, option, onoff, static_cast<FilesAndCacheMode>(racm), status_);
  }
};

TEST_F(ConfigFile, OptionChangeCreatesAMissingFileWithDefaults) {
  ASSERT_EQ(SetOption(ConfigFileOnly, Option_hubs_always_accepted, true), 0u) << Utf8(status_);
  EXPECT_EQ(ConfigText(), kDefaultsWithHubsOn);
  ASSERT_EQ(SetOption(ConfigFileOnly, Option_filesAndCacheMode, false, 3), 0u) << Utf8(status_);
  ASSERT_EQ(SetOption(ConfigFileOnly, Option_capture, false), 0u);
  EXPECT_EQ(ConfigText(),
            R"({"capture":false,"filesAndCacheMode":3,"filter":true,"hubs_always_accepted":true,"notify_handle":true})");
}

TEST_F(ConfigFile, OptionChangeKeepsOtherMembers) {
  WriteConfig(uR"({"filter":0,"extra":[1,"x"]})");
  ASSERT_EQ(SetOption(ConfigFileOnly, Option_notify_handle, false), 0u) << Utf8(status_);
  EXPECT_EQ(ConfigText(), R"({"extra":[1,"x"],"filter":0,"notify_handle":false})");
}

TEST_F(ConfigFile, ABadFileIsNeverReplaced) {
  struct Case {
    const char16_t* content;
    std::uint32_t code;
  };
  const Case cases[] = {
      {uR"({"filter":2})", 592},
      {uR"({"filter":"yes"})", 592},
      {uR"({"filesAndCacheMode":4})", 592},
      {uR"([true])", 592},
      {u"capture=1", 30},  // does not parse: the loader's code
  };
  for (const Case& c : cases) {
    WriteConfig(c.content);
    const std::string before = ConfigText();
    EXPECT_EQ(SetOption(ConfigFileOnly, Option_filter, true), c.code)
        << Utf8(c.content);
    if (c.code == 592) {
      EXPECT_EQ(Utf8(status_), "Bad data in config file; err=0x00000250");
    }
    EXPECT_FALSE(status_.empty());
    EXPECT_EQ(ConfigText(), before) << Utf8(c.content);
  }
}

TEST_F(ConfigFile, OptionsOutsideTheTable) {
  EXPECT_EQ(SetOption(ConfigFileOnly, static_cast<OptionID>(0), true), 160u);
  EXPECT_EQ(SetOption(ConfigDriverOnly, static_cast<OptionID>(0), true), 160u) << "before the driver is opened";
  EXPECT_FALSE(manager_.IsAttached());
  EXPECT_EQ(SetOption(ConfigFileOnly, static_cast<OptionID>(6), true), 160u);
  EXPECT_EQ(ConfigText(), "") << "defaults built but not written";
  EXPECT_EQ(SetOption(static_cast<ConfigTypes>(7), Option_capture, true), 0u) << "no step for another mode";
  EXPECT_EQ(ConfigText(), "");
  // A mode the file's validation would refuse is not stored.
  EXPECT_EQ(SetOption(ConfigFileOnly, Option_filesAndCacheMode, false, 4), 87u);
  EXPECT_EQ(ConfigText(), "");
}

TEST_F(ConfigFile, DriverStepComesFirstAndNeedsNoRegistry) {
  DeleteServiceKey();
  EXPECT_EQ(SetOption(ConfigDriverOnly, Option_hubs_always_accepted, true), 2u);
  EXPECT_EQ(Utf8(status_), "Driver not open; err=0x00000002") << "the driver, not the registry, failed";
  EXPECT_EQ(SetOption(ConfigDriverAndFile, Option_hubs_always_accepted, true), 2u);
  EXPECT_EQ(ConfigText(), "") << "a failed driver step leaves the file alone";
  std::u16string status;
  EXPECT_EQ(manager_.SetHubsAccept(true, ConfigDriverAndFile, status), 2u);
  EXPECT_EQ(manager_.ClearAcceptedNameList(status), 2u);
  EXPECT_EQ(manager_.ClearAcceptedTypeList(status), 2u);
  EXPECT_EQ(Utf8(status), "Driver not open; err=0x00000002");
}

TEST_F(ConfigFile, UserTestOffWithoutTesterOrDriver) {
  EXPECT_EQ(manager_.UserTest_off(status_), 2u);
  EXPECT_EQ(Utf8(status_), "Operation fail; err=0x00000002");
}

TEST_F(ConfigFile, SaveConfigWritesTheOptionsAndTheAdmittances) {
  std::filesystem::create_directories(native_path(admittances_path_));
  const std::string stale = native_path(admittances_path_) + "/Vid_0000_Pid_0000_Rev_0000.json";
  testing_support::write_native_file(stale, Utf16Bytes(u"{}"));

  WardenConfig cfg;
  cfg.filter = false;
  cfg.filesAndCacheMode = static_cast<FilesAndCacheMode>(2);
  ASSERT_EQ(manager_.SaveConfig(&cfg, status_), 0u) << Utf8(status_);
  EXPECT_EQ(ConfigText(),
            R"({"capture":true,"filesAndCacheMode":2,"filter":false,"hubs_always_accepted":false,"notify_handle":true})");
  EXPECT_TRUE(std::filesystem::exists(stale)) << "an empty list leaves the folder alone";

  Admittance a;
  a.VendorID = 0x1234;
  a.hasSerial = true;
  a.SerialNumber = u"S";
  cfg.admittances.Add(a);
  ASSERT_EQ(manager_.SaveConfig(&cfg, status_), 0u) << Utf8(status_);
  EXPECT_FALSE(std::filesystem::exists(stale)) << "the folder holds exactly the list's files";
  EXPECT_TRUE(std::filesystem::exists(native_path(admittances_path_) + "/Vid_1234_Pid_0000_Rev_0000.json"));
}

TEST_F(ConfigFile, SaveConfigWithoutRegistryWritesNothing) {
  DeleteServiceKey();
  WardenConfig cfg;
  EXPECT_EQ(manager_.SaveConfig(&cfg, status_), 2u);
  EXPECT_EQ(ConfigText(), "");
}

TEST(WardenConfigDefaults, SetDefaultKeepsOrReplacesTheAdmittances) {
  WardenConfig cfg;
  cfg.capture = false;
  cfg.hubs_always_accepted = true;
  cfg.filesAndCacheMode = static_cast<FilesAndCacheMode>(3);
  Admittance a;
  cfg.admittances.Add(a);
  AdmittanceList other;
  a.VendorID = 7;
  other.Add(a);
  Manager::SetDefaultWardenConfig(cfg, &other);
  EXPECT_TRUE(cfg.capture);
  EXPECT_FALSE(cfg.hubs_always_accepted);
  EXPECT_EQ(cfg.filesAndCacheMode, 1);
  ASSERT_EQ(cfg.admittances.list.size(), 1u);
  EXPECT_EQ(cfg.admittances.list.begin()->first.VendorID, 7);
  Manager::SetDefaultWardenConfig(cfg, nullptr);
  EXPECT_TRUE(cfg.admittances.list.empty());
}

}  // namespace
