#include "tray_policy.h"

#include "json/json_node.h"
#include "text/format.h"
#include "text/utf.h"

namespace {

constexpr std::u16string_view kAsk = u"ask_usb_device|";
constexpr std::u16string_view kBlocked = u"usb_device_blocked|";

bool starts_with(std::u16string_view text, std::u16string_view head) { return text.substr(0, head.size()) == head; }

std::string shown(std::u16string_view text) {
  constexpr std::size_t kShown = 200;
  const std::string utf8 = text::to_utf8_display(text.substr(0, kShown));
  return text.size() > kShown ? utf8 + "..." : utf8;
}

}  // namespace

std::optional<Policy> policy_named(std::string_view name) {
  constexpr std::string_view kFixed = "answer=";
  if (name == "allow") return Policy{Policy::allow, u""};
  if (name == "block") return Policy{Policy::block, u""};
  if (name == "silent") return Policy{Policy::silent, u""};
  if (name == "ask") return Policy{Policy::ask, u""};
  if (name.substr(0, kFixed.size()) == kFixed) return Policy{Policy::fixed, text::from_utf8(name.substr(kFixed.size()))};
  return std::nullopt;
}

std::string device_lines(std::u16string_view device_document) {
  CJsonNode device;
  device.parse(device_document);
  struct Field {
    const char* label;
    std::u16string_view member;
  };
  const Field fields[] = {{"manufacturer", u"producent"}, {"product", u"produkt"}, {"serial number", u"numer"},
                          {"class", u"klasa"},            {"description", u"opis"}};
  std::string lines;
  for (const Field& field : fields) {
    std::u16string value;
    if (device.has_member(field.member) && device[field.member].type() == CJsonNode::kString) {
      value = device[field.member].as_string();
    }
    lines += std::string("  ") + field.label + ": " + shown(value) + "\n";
  }
  return lines;
}

TrayStandIn::TrayStandIn(Policy policy, std::function<void(const std::string&)> say,
                         std::function<std::optional<bool>(const std::string&)> ask_person)
    : policy_(policy), say_(std::move(say)), ask_person_(std::move(ask_person)) {}

std::optional<std::u16string> TrayStandIn::answer(unsigned long pid, const std::u16string& message) {
  say_("<- from " + std::to_string(pid) + ": " + shown(message));
  if (starts_with(message, kBlocked)) {
    say_("blocked device:\n" + device_lines(std::u16string_view(message).substr(kBlocked.size())));
    return u"";
  }
  if (!starts_with(message, kAsk)) {
    say_("-> unknown message, empty answer");
    return u"";
  }
  std::u16string verdict;
  switch (policy_.kind) {
    case Policy::allow:
      verdict = u"1";
      break;
    case Policy::block:
      verdict = u"0";
      break;
    case Policy::silent:
      say_("-> no answer (silent)");
      return std::nullopt;
    case Policy::fixed:
      verdict = policy_.answer;
      break;
    case Policy::ask: {
      const std::optional<bool> yes = ask_person_(device_lines(std::u16string_view(message).substr(kAsk.size())));
      if (!yes) {
        say_("-> no answer from the terminal, empty answer");
        return u"";
      }
      verdict = *yes ? u"1" : u"0";
      break;
    }
  }
  say_("-> \"" + text::to_utf8_display(verdict) + "\"");
  return verdict;
}
