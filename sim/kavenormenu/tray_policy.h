// What the tray stand-in does with the guard's messages: answers "ask_usb_device|" by a policy
// chosen on its command line, and takes note of "usb_device_blocked|".
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

struct Policy {
  enum Kind {
    allow,   // answers "1"
    block,   // answers "0"
    silent,  // never answers: the exchange stays open until the program ends
    ask,     // shows the device at the terminal and answers "1" for y, "0" for n
    fixed,   // answers `answer`, whatever it is (to try the guard with other answers)
  };
  Kind kind = allow;
  std::u16string answer;
};

// "allow", "block", "silent", "ask" or "answer=TEXT"; nothing for anything else.
std::optional<Policy> policy_named(std::string_view name);

// The five texts of a device document (its text after the message head), one "label: value" line
// each, as UTF-8, for a person to read.
std::string device_lines(std::u16string_view device_document);

class TrayStandIn {
 public:
  // `say` writes one line for a person (and the log); `ask_person` reads y or n, nothing at the
  // end of input.
  TrayStandIn(Policy policy, std::function<void(const std::string&)> say,
              std::function<std::optional<bool>(const std::string& device)> ask_person);

  // The answer to one message of the channel "usb_device"; nothing for a message that is not
  // answered at all (the silent policy).
  std::optional<std::u16string> answer(unsigned long pid, const std::u16string& message);

 private:
  Policy policy_;
  std::function<void(const std::string&)> say_;
  std::function<std::optional<bool>(const std::string&)> ask_person_;
};
