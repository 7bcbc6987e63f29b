// The guard's first start as a whole process on a machine with the default desktop and an unknown
// memory stick: the current list without the stick, and the stick's drive ejected and reported
// while the machine has been up for less than five minutes, left alone after that.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>

#include "../platform/child_process.h"
#include "support/debug_output.h"
#include "support/run_command.h"
#include "support/sim_root.h"
#include "text/utf.h"

namespace {

class FirstStart : public testing_support::FreshHost {
 protected:
  void SetUp() override {
    FreshHost::SetUp();
    output_ = std::make_unique<testing_support::DebugOutput>(native_dir());
    ASSERT_EQ("", output_->error());
    // A copy of its own, so that "/stop" finds this guard and not another test's.
    guard_ = win_path(std::string("guard/vostrelusb") + platform_test::kExe);
    platform_test::copy_helper("vostrelusb", native_dir() + "/guard", std::string("vostrelusb") + platform_test::kExe);
    // The driver images the guard installs from its own folder.
    for (const char* image : {"vostusb.sys", "vostusb10.sys"})
      std::filesystem::copy_file(testing_support::native_path(bin_path(image)), native_dir() + "/guard/" + image);
  }
  void TearDown() override {
    output_.reset();
    FreshHost::TearDown();
  }

  void sim(const std::vector<std::string>& args) {
    const auto result = testing_support::run_built("vostusb-sim", args, native_dir());
    ASSERT_EQ(0, result.status) << result.err;
  }
  static std::string data_native(const std::string& sub) {
    return testing_support::native_path(u"C:\\ProgramData\\kavenor\\" + text::from_utf8(sub));
  }
  std::size_t report_count() const {
    std::size_t count = 0;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(data_native("logs"), error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
      count += it->is_regular_file() && it->path().string().ends_with("-1403.json");
    return count;
  }

  std::u16string guard_;
  std::unique_ptr<testing_support::DebugOutput> output_;
};

TEST_F(FirstStart, TheStickIsEjectedOnlyWithinFiveMinutesOfBoot) {
  struct Case {
    const char* uptime_ms;
    bool ejected;
  } const cases[] = {{"60000", true}, {"400000", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.uptime_ms);
    std::filesystem::remove_all(data_native(""));
    testing_support::write_native_file(data_native("cfg/cfg.json"), R"({"usb": {"active": 1, "action": 0}})");
    sim({"machine", "load", std::string(VOSTUSB_FIXTURES) + "/machines/desktop.json"});
    sim({"boot", "--uptime", c.uptime_ms});
    sim({"plug", "1-3", std::string(VOSTUSB_FIXTURES) + "/devices/usb_stick.json"});
    ASSERT_EQ(static_cast<UINT>(DRIVE_REMOVABLE), os::GetDriveTypeW(u"E:\\"));

    platform_test::Started service = platform_test::shell_execute(guard_, u"/start");
    ASSERT_TRUE(service.ok);
    const bool up = output_->wait_for_line(u"User mode enable done.", std::chrono::seconds(60));
    if (!up) {
      for (const std::u16string& line : output_->stop()) ADD_FAILURE() << text::to_utf8(line);
    }
    platform_test::Started stop = platform_test::shell_execute(guard_, u"/stop");
    ASSERT_TRUE(stop.ok);
    ASSERT_EQ(WAIT_OBJECT_0, os::WaitForSingleObject(service.process.get(), 60000));
    ASSERT_TRUE(up);

    // The current list: the desktop's keyboard, mouse and hub, not the stick.
    const std::u16string list = text::from_utf16le(testing_support::read_native_file(data_native("vostusb/current_usb.json")));
    EXPECT_NE(std::u16string::npos, list.find(u"\"=USB Optical Mouse\"")) << text::to_utf8(list);
    EXPECT_EQ(std::u16string::npos, list.find(u"Kingmax"));

    EXPECT_EQ(c.ejected ? DRIVE_NO_ROOT_DIR : DRIVE_REMOVABLE, os::GetDriveTypeW(u"E:\\"));
    EXPECT_EQ(c.ejected ? 1u : 0u, report_count());
    const std::u16string ejected = text::from_utf16le(testing_support::read_native_file(data_native("tmp/devices_ejected.txt")));
    EXPECT_EQ(c.ejected, ejected.find(u"\"numer\" : \"E0D55EA573DCF450E97C0D5A\"") != std::u16string::npos)
        << text::to_utf8(ejected);
    const auto shown = testing_support::run_built("vostusb-sim", {"machine", "show"}, native_dir());
    EXPECT_EQ(c.ejected, shown.out.find("E: removable (ejected)") != std::string::npos) << shown.out;
  }
}

}  // namespace
