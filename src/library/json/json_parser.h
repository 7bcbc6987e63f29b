// The state machine behind JsonHolder::Parse, fed one code unit at a time. Containers are tracked on
// an explicit stack, so nesting depth is bounded by memory, not by the call stack.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "library/json/json_holder.h"

namespace VostUsbWardenManager {

class JsonParser {
 public:
  // Examines the next code unit; throws JsonHolderException with its line and column.
  void Feed(char16_t c);
  // The end of the text: hands over the last root container, or throws when the text is
  // unfinished or holds none.
  JsonHolder Finish();

 private:
  enum class State {
    BeforeRoot,
    ArrayStart,
    ObjectStart,
    AfterValue,
    InString,
    InLiteral,
    InNumber,
    AfterObjectComma,
    AfterArrayComma,
    AfterName,
    InEscape,
    AfterColon,
  };

  [[noreturn]] void Fail(const std::u16string& message) const;
  // Starts a value (string, container, literal or number) inside the current container; false
  // when `c` starts none.
  bool StartValue(char16_t c);
  void OpenChild(JsonHolder child, State next);
  void CloseContainer();
  void CloseScalar();
  // What follows a value: white space, a comma, or the closing bracket of the current container;
  // anything else fails with `other`.
  void AfterValue(char16_t c, const std::u16string& other);
  void EndLiteral();
  void EndNumber();

  State state_ = State::BeforeRoot;
  JsonHolder root_;
  bool has_root_ = false;
  JsonHolder* current_ = nullptr;
  std::vector<JsonHolder*> enclosing_;
  std::u16string buffer_;
  std::u16string member_name_;
  std::u16string escape_;
  bool reading_name_ = false;
  int line_ = 1;
  int column_ = 1;
};

// Parse's contract: feeds `count` code units taken from `next_unit`; true with the root in `json`, or
// false with the message in `status_text`, `json` unchanged and the partial tree destroyed.
template <class NextUnit>
bool RunParser(std::uint64_t count, NextUnit next_unit, JsonHolder& json, std::u16string& status_text) {
  try {
    JsonParser parser;
    for (std::uint64_t i = 0; i < count; ++i) parser.Feed(next_unit());
    json = parser.Finish();
    return true;
  } catch (const JsonHolderException& e) {
    status_text = e.Message();
    return false;
  }
}

// The same over code units already in memory.
bool ParseCodeUnits(std::u16string_view units, JsonHolder& json, std::u16string& status_text);

}  // namespace VostUsbWardenManager
