// The tray stand-in's answers by policy, without a pipe: what a person at its terminal is shown and
// what their reply becomes.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tray_policy.h"

namespace {

const std::u16string kDevice =
    u"{\r\n    \"checksum\" : \"AB\", \r\n    \"klasa\" : \"USB\", \r\n    \"numer\" : \"SN1\", \r\n"
    u"    \"opis\" : \"Pamięć USB\", \r\n    \"producent\" : \"Kingston\", \r\n    \"produkt\" : \"DT\", \r\n"
    u"    \"user\" : \"ola\"\r\n}";

const std::string kShown =
    "  manufacturer: Kingston\n  product: DT\n  serial number: SN1\n  class: USB\n  description: Pamięć USB\n";

struct TrayRun {
  std::vector<std::string> said;
  std::vector<std::string> asked;
  std::optional<std::u16string> answer;
};

TrayRun run(const std::string& policy_name, const std::u16string& message, std::optional<bool> reply = std::nullopt) {
  TrayRun result;
  const std::optional<Policy> policy = policy_named(policy_name);
  EXPECT_TRUE(policy.has_value()) << policy_name;
  TrayStandIn tray(*policy, [&](const std::string& line) { result.said.push_back(line); },
                   [&](const std::string& device) {
                     result.asked.push_back(device);
                     return reply;
                   });
  result.answer = tray.answer(42, message);
  return result;
}

}  // namespace

TEST(TrayStandIn, AnswersByPolicy) {
  struct Case {
    std::string policy;
    std::optional<bool> reply;
    std::optional<std::u16string> answer;
    std::size_t asked;
  };
  const Case cases[] = {
      {"allow", std::nullopt, u"1", 0},       {"block", std::nullopt, u"0", 0},
      {"silent", std::nullopt, std::nullopt, 0}, {"answer=yes", std::nullopt, u"yes", 0},
      {"answer=", std::nullopt, u"", 0},      {"ask", true, u"1", 1},
      {"ask", false, u"0", 1},                {"ask", std::nullopt, u"", 1},
  };
  for (const Case& c : cases) {
    const TrayRun r = run(c.policy, u"ask_usb_device|" + kDevice, c.reply);
    EXPECT_EQ(c.answer, r.answer) << c.policy;
    ASSERT_EQ(c.asked, r.asked.size()) << c.policy;
    if (c.asked) {
      EXPECT_EQ(kShown, r.asked[0]);
    }
  }
}

TEST(TrayStandIn, BlockedNoticeIsShownAndAnsweredEmpty) {
  const TrayRun r = run("ask", u"usb_device_blocked|" + kDevice, true);
  EXPECT_EQ(std::optional<std::u16string>(u""), r.answer);
  EXPECT_TRUE(r.asked.empty());
  ASSERT_EQ(2u, r.said.size());
  EXPECT_EQ("blocked device:\n" + kShown, r.said[1]);
}

TEST(TrayStandIn, UnknownMessagesAndPolicies) {
  EXPECT_EQ(std::optional<std::u16string>(u""), run("allow", u"hello").answer);
  EXPECT_EQ(std::optional<std::u16string>(u""), run("allow", u"usb_device_ask|x").answer);
  for (const char* name : {"", "Allow", "yes", "answer", "silent "}) EXPECT_FALSE(policy_named(name).has_value()) << name;
}

TEST(TrayStandIn, DeviceLinesOfBadDocuments) {
  EXPECT_EQ("  manufacturer: \n  product: \n  serial number: \n  class: \n  description: \n", device_lines(u"not JSON"));
  const std::string shown = device_lines(u"{\"producent\":\"" + std::u16string(1000, u'x') + u"\",\"produkt\":7}");
  EXPECT_NE(std::string::npos, shown.find("manufacturer: " + std::string(200, 'x') + "...\n"));
  EXPECT_NE(std::string::npos, shown.find("product: \n"));
}
