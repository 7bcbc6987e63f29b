#include "decision/list_host.h"

#include "decision/current_usb_list.h"
#include "platform/sim/usb_fixture.h"
#include "platform/sim/usb_store.h"
#include "process/named_paths.h"

namespace decision_test {

void ListHost::SetUp() {
  DecisionHost::SetUp();
  manager_ = std::make_unique<VostUsbWardenManager::Manager>(u"VostUsb", u"VostUsb", u"\\\\.\\VostUsb");
  g_manager = manager_.get();
}

void ListHost::TearDown() {
  g_manager = nullptr;
  manager_.reset();
  set_device_list_source(nullptr);
  DecisionHost::TearDown();
}

void ListHost::load_machine(const std::string& devices) const {
  const std::string text = R"({"controllers": [{"index": 0, "ports": 6, "devices": {)" + devices + "}}]}";
  namespace usb = os::sim::usb;
  ASSERT_EQ("", usb::replace_machine(usb::read_machine(text, VOSTUSB_FIXTURES "/devices")));
}

CJsonNode parsed(const std::u16string& text) {
  CJsonNode document;
  document.parse(text);
  return document;
}

}  // namespace decision_test
