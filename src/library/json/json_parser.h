// The state machine behind JsonHolder::Parse, fed the text in pieces of any size. Containers are
// tracked on an explicit stack, so nesting depth is bounded by memory, not by the call stack.
// Strings, numbers and literals start as null placeholders in their container and get their value
// in place when they end.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "library/json/json_holder.h"

namespace VostUsbWardenManager {

class JsonParser {
 public:
  // Examines the next code units in order; throws JsonHolderException with the line and column of
  // the code unit at fault. Where the text is cut into pieces makes no difference.
  void Feed(std::u16string_view units);
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

  // One code unit: moves the position on, then examines it.
  void Examine(char16_t c);
  // Moves the column on over `count` code units that hold no line feed.
  void AdvanceColumn(std::size_t count);
  [[noreturn]] void Fail(const char16_t* message) const;
  // Starts a value (string, container, literal or number) inside the current container; false
  // when `c` starts none.
  bool StartValue(char16_t c);
  // Attaches `owned` to the current container and makes it current.
  void OpenChild(std::unique_ptr<JsonHolder> owned, State next);
  void CloseContainer();
  void CloseScalar();
  // What follows a value: white space, a comma, or the closing bracket of the current container;
  // anything else fails with `other`.
  void AfterValue(char16_t c, const char16_t* other);
  void EndString();
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

// Parse's contract: `feed` gives the parser the whole text; true with the root in `json`, or false
// with the message in `status_text`, `json` unchanged and the partial tree destroyed.
template <class FeedText>
bool RunParser(FeedText feed, JsonHolder& json, std::u16string& status_text) {
  try {
    JsonParser parser;
    feed(parser);
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
