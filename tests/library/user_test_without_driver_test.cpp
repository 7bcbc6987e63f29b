// The user test on a machine without the driver's device, in both builds: the open's failure is
// the result, and nothing keeps running.
#include <gtest/gtest.h>

#include "library/device_tester.h"
#include "library/manager.h"
#include "library_fixture.h"
#include "text/utf.h"

using namespace VostUsbWardenManager;

namespace {

bool AcceptAll(const char16_t*, void*) { return true; }

TEST(UserTestWithoutDriver, TheOpenFailureIsTheResult) {
  DeviceTester tester(library_testing::kNoDevice, AcceptAll, 1200000000, true, nullptr);
  EXPECT_EQ(tester.Start(), 2u);
  EXPECT_EQ(tester.Stop(), 566u) << "no thread was left";

  Manager manager(library_testing::kTestService, library_testing::kTestService, library_testing::kNoDevice);
  std::u16string status;
  EXPECT_EQ(manager.UserTest_on(AcceptAll, 1200000000, nullptr, true, status), 2u);
  EXPECT_EQ(text::to_utf8(status), "Operation fail; err=0x00000002");
  status.clear();
  EXPECT_EQ(manager.UserTest_on(AcceptAll, 1200000000, nullptr, true, status), 2u) << "no tester was kept";
  EXPECT_EQ(manager.UserTest_off(status), 2u) << "without a tester: the facade's own open fails";
  EXPECT_EQ(text::to_utf8(status), "Operation fail; err=0x00000002");
}

}  // namespace
