#include "library/json/json_parser.h"

#include <climits>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "text/chars.h"
#include "text/number.h"

namespace VostUsbWardenManager {

namespace {

bool StartsLiteral(char16_t c) { return c == u't' || c == u'f' || c == u'n'; }

// The letters of null, true and false.
bool ContinuesLiteral(char16_t c) {
  switch (c) {
    case u'n': case u'u': case u'l': case u't': case u'r': case u'e': case u'f': case u'a': case u's':
      return true;
    default:
      return false;
  }
}

bool IsExponentLetter(char16_t c) { return c == u'E' || c == u'e'; }

// iswspace, with the common ASCII cases settled here.
bool IsSpace(char16_t c) { return c == u' ' || (c >= 0x09 && c <= 0x0D) || (c >= 0x80 && text::is_space(c)); }

bool IsDigit(char16_t c) { return static_cast<char16_t>(c - u'0') < 10; }

bool StartsNumber(char16_t c) { return IsDigit(c) || c == u'-'; }

// What a number may go on with, apart from the "+" that depends on the code unit before it.
bool ContinuesNumber(char16_t c) { return IsDigit(c) || IsExponentLetter(c) || c == u'-' || c == u'.'; }

// What a string takes as it is: anything but its end, an escape, and a line feed, which moves the
// position to the next line.
bool PlainInString(char16_t c) { return c != u'"' && c != u'\\' && c != 10; }

bool IsObject(const JsonHolder* v) { return v->GetTyp() == JsonHolderType::Object; }

[[noreturn]] void BadEscape(int kolumna, int linia) {
  throw JsonHolderException(kolumna, linia, u"Nieprawidłowa ESC-sekwencja");
}

// "%lf" on the text of a number. A plain whole number of up to 15 digits (below 2^53, so exact) is
// worked out here; its value is the same as the general reading gives.
std::optional<double> ReadNumber(std::u16string_view number) {
  const bool negative = !number.empty() && number[0] == u'-';
  const std::u16string_view digits = number.substr(negative ? 1 : 0);
  if (digits.empty() || digits.size() > 15) return text::scan_double(number);
  std::uint64_t value = 0;
  for (const char16_t c : digits) {
    if (!IsDigit(c)) return text::scan_double(number);
    value = value * 10 + static_cast<std::uint64_t>(c - u'0');
  }
  const double magnitude = static_cast<double>(value);
  return negative ? -magnitude : magnitude;
}

}  // namespace

void JsonParser::Fail(const char16_t* message) const {
  throw JsonHolderException(column_, line_, std::u16string(message));
}

void JsonParser::OpenChild(std::unique_ptr<JsonHolder> owned, State next) {
  if (IsObject(current_)) {
    current_->Add(member_name_, owned.get());  // a repeated name throws, without a position
  } else {
    current_->Add(owned.get());
  }
  JsonHolder* opened = owned.release();
  enclosing_.push_back(current_);
  current_ = opened;
  state_ = next;
}

void JsonParser::CloseContainer() {
  if (enclosing_.empty()) {
    state_ = State::BeforeRoot;  // the root is complete; a new one may still follow
    return;
  }
  CloseScalar();
  state_ = State::AfterValue;
}

void JsonParser::CloseScalar() {
  current_ = enclosing_.back();
  enclosing_.pop_back();
}

bool JsonParser::StartValue(char16_t c) {
  if (c == u'"') {
    // A placeholder until the closing quote hands it the text: one allocation less per string.
    buffer_.clear();
    OpenChild(std::make_unique<JsonHolder>(), State::InString);
    reading_name_ = false;
  } else if (c == u'[') {
    OpenChild(std::make_unique<JsonHolder>(static_cast<JsonArray*>(nullptr)), State::ArrayStart);
  } else if (c == u'{') {
    OpenChild(std::make_unique<JsonHolder>(static_cast<JsonObject*>(nullptr)), State::ObjectStart);
  } else if (StartsLiteral(c)) {
    buffer_.assign(1, c);
    OpenChild(std::make_unique<JsonHolder>(), State::InLiteral);
  } else if (StartsNumber(c)) {
    buffer_.assign(1, c);
    OpenChild(std::make_unique<JsonHolder>(), State::InNumber);
  } else {
    return false;
  }
  return true;
}

void JsonParser::AfterValue(char16_t c, const char16_t* other) {
  if (IsSpace(c)) {
    state_ = State::AfterValue;
  } else if (c == u',') {
    state_ = IsObject(current_) ? State::AfterObjectComma : State::AfterArrayComma;
  } else if (c == (IsObject(current_) ? u'}' : u']')) {
    CloseContainer();
  } else {
    Fail(other);
  }
}

void JsonParser::EndString() {
  if (reading_name_) {
    if (buffer_.empty()) Fail(u"Nazwa pola nie może być pusta");
    member_name_.swap(buffer_);  // the buffer is cleared when the next string starts
    state_ = State::AfterName;
  } else {
    // A copy of exact size; the buffer keeps its room.
    current_->value_.text = new std::u16string(buffer_);
    current_->type_ = JsonHolderType::String;
    CloseScalar();
    state_ = State::AfterValue;
  }
}

void JsonParser::EndLiteral() {
  if (buffer_ == u"null") {
    // the placeholder is null already
  } else if (buffer_ == u"true" || buffer_ == u"false") {
    current_->type_ = JsonHolderType::Boolean;
    current_->value_.flag = buffer_[0] == u't';
  } else {
    Fail(u"Nieprawidłowy literał");
  }
  CloseScalar();
}

void JsonParser::EndNumber() {
  // "%lf" reads the longest number at the start; whatever follows it in the buffer is ignored.
  const auto number = ReadNumber(buffer_);
  if (!number) Fail(u"Niepoprawny format liczby");
  current_->type_ = JsonHolderType::Number;
  current_->value_.number = *number;
  CloseScalar();
}

// The runs of code units that only go into the buffer (the inside of a string, the digits of a
// number) are taken whole; everything else is examined one code unit at a time.
void JsonParser::Feed(std::u16string_view units) {
  const char16_t* next = units.data();
  const char16_t* const end = next + units.size();
  while (next != end) {
    const char16_t* run = next;
    if (state_ == State::InString) {
      while (run != end && PlainInString(*run)) ++run;
    } else if (state_ == State::InNumber) {
      while (run != end && ContinuesNumber(*run)) ++run;
    }
    if (run != next) {
      buffer_.append(next, run);
      AdvanceColumn(static_cast<std::size_t>(run - next));
      next = run;
      if (next == end) break;
    }
    Examine(*next++);
  }
}

// Saturating, so a gigantic line cannot overflow the column.
void JsonParser::AdvanceColumn(std::size_t count) {
  const auto room = static_cast<std::size_t>(INT_MAX - column_);
  column_ = count < room ? column_ + static_cast<int>(count) : INT_MAX;
}

void JsonParser::Examine(char16_t c) {
  if (column_ < INT_MAX) ++column_;
  if (c == 10) {
    if (line_ < INT_MAX) ++line_;
    column_ = 1;
  }
  const bool space = IsSpace(c);
  switch (state_) {
    case State::BeforeRoot:
      if (space) return;
      if (c == u'{') {
        root_ = JsonHolder::CreateObject();
      } else if (c == u'[') {
        root_ = JsonHolder::CreateArray();
      } else {
        Fail(u"Nieprawidłowy znak rozpoczynający treść JSON");
      }
      has_root_ = true;
      current_ = &root_;
      state_ = c == u'{' ? State::ObjectStart : State::ArrayStart;
      return;
    case State::ArrayStart:
      if (space) return;
      if (c == u']') return CloseContainer();
      if (!StartValue(c)) Fail(u"Nieprawidłowy znak zaczynający wartość");
      return;
    case State::ObjectStart:
      if (space) return;
      if (c == u'"') {
        buffer_.clear();
        reading_name_ = true;
        state_ = State::InString;
      } else if (c == u'}') {
        CloseContainer();
      } else {
        Fail(u"Nieprawidłowy znak rozpoczynający wartość");
      }
      return;
    case State::AfterValue:
      return AfterValue(c, IsObject(current_) ? u"Nieprawidłowy znak po polu obiektu"
                                              : u"Nieprawidłowy znak po elemencie tablicy");
    case State::InString:
      if (c == u'"') {
        EndString();
      } else if (c == u'\\') {
        escape_.clear();
        state_ = State::InEscape;
      } else {
        buffer_ += c;
      }
      return;
    case State::InLiteral:
      if (ContinuesLiteral(c)) {
        buffer_ += c;
        return;
      }
      EndLiteral();
      return AfterValue(c, u"Nieprawidłowy literał lub znak po literale");
    case State::InNumber:
      // A "+" belongs to the number right after the exponent letter: the writer's "%G" puts one
      // there ("1.23457E+006"), and a document must read back what it wrote.
      if (ContinuesNumber(c) || (c == u'+' && IsExponentLetter(buffer_.back()))) {
        buffer_ += c;
        return;
      }
      EndNumber();
      return AfterValue(c, u"Nieprawidłowy znak po liczbie");
    case State::AfterObjectComma:
      if (space) return;
      if (c != u'"') Fail(u"Nieprawidłowy początek nazwy pola");
      buffer_.clear();
      reading_name_ = true;
      state_ = State::InString;
      return;
    case State::AfterArrayComma:
      if (space) return;
      if (!StartValue(c)) Fail(u"Nieprawidłowy początek wartości");
      return;
    case State::AfterName:
      if (space) return;
      if (c != u':') Fail(u"Po nazwie musi być dwukropek");
      state_ = State::AfterColon;
      return;
    case State::InEscape:
      escape_ += c;
      if (JsonHolder::EscToChar(escape_, buffer_, column_, line_)) state_ = State::InString;
      return;
    case State::AfterColon:
      if (space) return;
      if (!StartValue(c)) Fail(u"Nieprawidłowy początek wartości");
      return;
  }
}

JsonHolder JsonParser::Finish() {
  if (state_ != State::BeforeRoot) Fail(u"Tekst JSON niedokończony");
  if (!has_root_) Fail(u"Nie znaleziono obiektu JSON w tekście");
  return std::move(root_);
}

bool ParseCodeUnits(std::u16string_view units, JsonHolder& json, std::u16string& status_text) {
  return RunParser([units](JsonParser& parser) { parser.Feed(units); }, json, status_text);
}

bool JsonHolder::EscToChar(const std::u16string& escBuf, std::u16string& txBuf, int kolumna, int linia) {
  auto fail = [&] { BadEscape(kolumna, linia); };
  const std::size_t n = escBuf.size();
  if (n == 0 || n > 11) fail();
  const std::u16string_view simple_escapes = u"\\\"/rnftb";
  const std::u16string_view simple_values = u"\\\"/\r\n\f\t\b";
  if (const std::size_t which = simple_escapes.find(escBuf[0]); which != std::u16string_view::npos) {
    txBuf += simple_values[which];
    return true;
  }
  // A "\u" escape, checked as each code unit arrives: u XXXX, then for a high surrogate \ u XXXX.
  const char16_t last = escBuf[n - 1];
  if (n == 1) {
    if (last != u'u') fail();
    return false;
  }
  if (n == 6) {
    if (last != u'\\') fail();
  } else if (n == 7) {
    if (last != u'u') fail();
  } else if (!text::is_xdigit(last)) {
    fail();
  }
  if (n < 5) return false;
  const auto hi = text::scan_hex(std::u16string_view(escBuf).substr(1, 4));
  if (!hi) fail();
  if (n == 5) {
    if (*hi < 0xD800 || *hi > 0xDFFF) {
      txBuf += static_cast<char16_t>(*hi);
      return true;
    }
    if (*hi >= 0xDC00) fail();  // a low surrogate alone
    return false;               // a high surrogate: its low half must follow at once
  }
  if (n < 11) return false;
  const auto lo = text::scan_hex(std::u16string_view(escBuf).substr(7, 4));
  if (!lo || *lo < 0xDC00 || *lo > 0xDFFF) fail();
  txBuf += static_cast<char16_t>(*hi);
  txBuf += static_cast<char16_t>(*lo);
  return true;
}

}  // namespace VostUsbWardenManager
