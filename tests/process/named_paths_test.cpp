#include "process/named_paths.h"

#include <gtest/gtest.h>

#include "platform/os.h"
#include "process/paths.h"
#include "process/registry.h"
#include "support/sim_root.h"
#include "text/utf.h"

class NamedPaths : public testing_support::FreshHost {
 protected:
  NamedPaths() { capture_debug_output(); }
  void SetUp() override {
    FreshHost::SetUp();
    old_ = std::getenv("ALLUSERSPROFILE") ? std::getenv("ALLUSERSPROFILE") : "";
    testing_support::set_env("ALLUSERSPROFILE", text::to_utf8(win_path("ProgramData")).c_str());
  }
  void TearDown() override {
    testing_support::set_env("ALLUSERSPROFILE", old_.empty() ? nullptr : old_.c_str());
    FreshHost::TearDown();
  }
  bool is_folder(const std::u16string& path) {
    const DWORD attributes = os::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
  std::string old_;
};

TEST_F(NamedPaths, TableOfNames) {
  const std::u16string data = win_path("ProgramData\\kavenor");
  const struct {
    std::u16string name, path, folder;
  } cases[] = {
      {u"new_usb_device_file_path", data + u"\\tmp\\usbdevice.json", u""},
      {u"current_usb", data + u"\\vostusb\\current_usb.json", data + u"\\vostusb"},
      {u"current_usb_internal", data + u"\\vostusb\\current_usb_internal.json", data + u"\\vostusb"},
      {u"config", data + u"\\vostusb\\config.json", data + u"\\vostusb"},
      {u"accept", data + u"\\vostusb\\accept", data + u"\\vostusb\\accept"},
      {u"internal_accept", data + u"\\vostusb\\internal_accept", data + u"\\vostusb\\internal_accept"},
      {u"Accept", u"", u""},
      {u"unknown", u"", u""},
      {u"", u"", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.path, get_named_path(c.name)) << text::to_utf8(c.name);
    if (!c.folder.empty()) {
      EXPECT_TRUE(is_folder(c.folder)) << text::to_utf8(c.folder);
    }
  }
  // Neither "tmp" (not created for the capture file) nor anything for the unknown names.
  EXPECT_FALSE(is_folder(data + u"\\tmp"));
  EXPECT_EQ(u"", get_named_path(u"accept "));
}

TEST_F(NamedPaths, LoggedNamesWriteOneLineEach) {
  get_named_path(u"accept");
  get_named_path(u"accept");
  get_named_path(u"new_usb_device_file_path");
  get_named_path(u"nothing");
  const auto lines = debug_lines();
  ASSERT_EQ(2u, lines.size());
  EXPECT_NE(std::string::npos, lines[0].find("_COUT:"));
  EXPECT_NE(std::string::npos, lines[0].find("-> accept : "));
}

TEST_F(NamedPaths, DriverFileFollowsTheWindowsVersion) {
#ifdef _WIN32
  GTEST_SKIP() << "the product name of the running Windows is not ours to change";
#endif
  // The product name is read once per process; this machine has none, so the older driver.
  ASSERT_TRUE(registry::product_name().empty());
  EXPECT_EQ(paths::program_path(u"vostusb.sys"), get_named_path(u"sys"));
  registry::reg_write_string(u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", u"ProductName", u"Windows 10 Pro");
  // An empty read is tried again at the next request.
  EXPECT_EQ(paths::program_path(u"vostusb10.sys"), get_named_path(u"sys"));
  EXPECT_EQ(u"vostusb10.sys", driver_file_name());
}
