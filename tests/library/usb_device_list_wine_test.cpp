// The device list on the real platform calls (Windows build). Wine has no USB hardware: no host
// controller opens, so the list is empty and succeeds although Wine's device tree cannot be
// walked. On a real Windows machine the list holds its devices; the checks then are only that it
// succeeds and is an array.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library/usb/dev_node.h"
#include "library/usb/device_list.h"
#include "library/usb/dh_manager.h"
#include "support/wine.h"
#include "text/utf.h"

using namespace VostUsbWardenManager;

TEST(UsbDeviceListOnWindows, ListSucceedsAndIsEmptyWithoutHostControllers) {
  std::u16string text = u"unchanged", status;
  ASSERT_EQ(0u, GetCurrentUSBDevicesJSONListText(100, text, status)) << text::to_utf8(status);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(u'[', text.front());
  if (testing_support::under_wine()) {
    EXPECT_EQ(u"[]", text);
  }

  JsonHolder list;
  std::vector<std::u16string> paths{u"stale"};
  ASSERT_EQ(0u, GetCurrentUSBDevicesWithPorts(100, list, &paths, status)) << text::to_utf8(status);
  EXPECT_EQ(JsonHolderType::Array, list.GetTyp());
  EXPECT_EQ(list.Count(), paths.size());
}

// Wine cannot locate the device tree's root: the walk says so and leaves the map as it was.
TEST(UsbDeviceListOnWindows, DeviceTreeWalkGivesTheMapOrSaysWhyNot) {
  std::u16string status;
  DeviceInstancesMap devices{{u"stale", 1}};
  const DWORD code = DHManager::GetDeviceInstancesMap(devices, status);
  if (code == 0) {
    EXPECT_EQ(0u, devices.count(u"stale"));
    EXPECT_FALSE(devices.empty());
  } else {
    EXPECT_EQ(u"GetDeviceInstancesMap: Nie udało uzyskać węzła-korzenia", status);
    EXPECT_EQ(1u, devices.size());
  }
  VolumesMap volumes;
  EXPECT_EQ(0u, DevNode::GetVolumesInfo(volumes, status)) << text::to_utf8(status);
}

TEST(UsbDeviceListOnWindows, MissingHostControllerCannotBeOpened) {
  if (!testing_support::under_wine()) GTEST_SKIP() << "a real machine may have this controller";
  DHManager controller;
  std::u16string status;
  EXPECT_NE(0u, controller.Open(u"\\\\.\\HCD0", status, GENERIC_READ, 7));
  EXPECT_EQ(u"Nie udało się utworzyć uchwytu do urządzenia: \\\\.\\HCD0", status);
  EXPECT_FALSE(controller.IsOpen());
  std::u16string name;
  EXPECT_EQ(1167u, controller.GetRootHubNameForHost(name, status));  // ERROR_DEVICE_NOT_CONNECTED
  EXPECT_EQ(u"GetRootHubNameForHost: połączenie nie otwarte", status);
}

