// The add-rule message that turns the user's answer into a rule of the suite's configuration.
#include <gtest/gtest.h>

#include "decision/add_rule.h"
#include "decision/device_record.h"
#include "decision/device_texts.h"

using decision_test::device_text;

namespace {

constexpr char16_t kTime[] = u"2026.12.04 09:30:05";

CJsonNode document_of(const std::u16string& manufacturer, const std::u16string& product, const std::u16string& serial,
                      const std::u16string& class_name) {
  return build_device_record(device_text(manufacturer, product, serial, class_name, u"Hub"), u"ola").document;
}

}  // namespace

TEST(AddRuleLabel, EachTextFollowedBySlashOnlyWhenPresent) {
  struct Case {
    const char16_t *manufacturer, *product, *class_name, *label;
  };
  const Case cases[] = {
      {u"Acme", u"Widget", u"USB", u"Acme/Widget/USB/2026.12.04 09:30:05"},
      {u"", u"", u"", u"2026.12.04 09:30:05"},
      {u"Acme", u"", u"", u"Acme/2026.12.04 09:30:05"},
      {u"Acme", u"", u"USB", u"Acme/USB/2026.12.04 09:30:05"},
      {u"", u"Widget", u"", u"Widget/2026.12.04 09:30:05"},
  };
  for (const Case& c : cases) {
    CJsonNode document = document_of(c.manufacturer, c.product, u"SN1", c.class_name);
    EXPECT_EQ(c.label, add_rule_label(document, kTime));
  }
  CJsonNode none = build_device_record(u"{}", u"").document;
  EXPECT_EQ(u"-/-/-/2026.12.04 09:30:05", add_rule_label(none, kTime));
}

TEST(AddRuleMessage, ExactPatternsLabelAndVerdict) {
  CJsonNode document = document_of(u"Acme", u"Widget", u"", u"USB");
  const std::u16string checksum = member_text(document, u"checksum");
  const std::u16string body = u"{\r\n"
                              u"    \"checksum\" : \"" + checksum + u"\", \r\n"
                              u"    \"etykieta\" : \"Acme/Widget/USB/2026.12.04 09:30:05\", \r\n"
                              u"    \"klasa\" : \"=USB\", \r\n"
                              u"    \"numer\" : \"\", \r\n"
                              u"    \"opis\" : \"=Hub\", \r\n"
                              u"    \"producent\" : \"=Acme\", \r\n"
                              u"    \"produkt\" : \"=Widget\", \r\n"
                              u"    \"user\" : \"ola\"\r\n"
                              u"}";
  EXPECT_EQ(u"usb_device_add_rule1:" + body, add_rule_message(document, true, kTime));
  EXPECT_EQ(u"usb_device_add_rule0:" + body, add_rule_message(document, false, kTime));
  EXPECT_EQ(u"Acme", member_text(document, u"producent"));  // the device document is unchanged
  EXPECT_FALSE(document.has_member(u"etykieta"));
}

TEST(SendAddRule, WithoutMonitorNothingHappens) {
  CJsonNode document = document_of(u"Acme", u"Widget", u"SN1", u"USB");
  send_add_rule(document, true);  // returns at once: no process of that name
  EXPECT_EQ(u"Acme", member_text(document, u"producent"));
}
