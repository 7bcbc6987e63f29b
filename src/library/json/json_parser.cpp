#include "library/json/json_parser.h"

#include <climits>
#include <memory>
#include <utility>

#include "text/chars.h"
#include "text/number.h"

namespace VostUsbWardenManager {

namespace {

bool IsOneOf(char16_t c, std::u16string_view set) { return set.find(c) != std::u16string_view::npos; }

bool StartsNumber(char16_t c) { return text::is_digit(c) || c == u'-'; }

bool IsObject(const JsonHolder* v) { return v->GetTyp() == JsonHolderType::Object; }

[[noreturn]] void BadEscape(int kolumna, int linia) {
  throw JsonHolderException(kolumna, linia, u"Nieprawidłowa ESC-sekwencja");
}

}  // namespace

void JsonParser::Fail(const std::u16string& message) const { throw JsonHolderException(column_, line_, message); }

void JsonParser::OpenChild(JsonHolder child, State next) {
  auto owned = std::make_unique<JsonHolder>(std::move(child));
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
    OpenChild(JsonHolder(), State::InString);
    reading_name_ = false;
  } else if (c == u'[') {
    OpenChild(JsonHolder::CreateArray(), State::ArrayStart);
  } else if (c == u'{') {
    OpenChild(JsonHolder::CreateObject(), State::ObjectStart);
  } else if (IsOneOf(c, u"tfn")) {
    buffer_.assign(1, c);
    OpenChild(JsonHolder(), State::InLiteral);
  } else if (StartsNumber(c)) {
    buffer_.assign(1, c);
    OpenChild(JsonHolder(), State::InNumber);
  } else {
    return false;
  }
  return true;
}

void JsonParser::AfterValue(char16_t c, const std::u16string& other) {
  if (text::is_space(c)) {
    state_ = State::AfterValue;
  } else if (c == u',') {
    state_ = IsObject(current_) ? State::AfterObjectComma : State::AfterArrayComma;
  } else if (c == (IsObject(current_) ? u'}' : u']')) {
    CloseContainer();
  } else {
    Fail(other);
  }
}

void JsonParser::EndLiteral() {
  if (buffer_ == u"null") {
    current_->SetToNull();
  } else if (buffer_ == u"true") {
    *current_ = true;
  } else if (buffer_ == u"false") {
    *current_ = false;
  } else {
    Fail(u"Nieprawidłowy literał");
  }
  CloseScalar();
}

void JsonParser::EndNumber() {
  // "%lf" reads the longest number at the start; whatever follows it in the buffer is ignored.
  const auto number = text::scan_double(buffer_);
  if (!number) Fail(u"Niepoprawny format liczby");
  *current_ = JsonHolder(*number);
  CloseScalar();
}

void JsonParser::Feed(char16_t c) {
  // Saturating, so a gigantic line cannot overflow the column.
  if (column_ < INT_MAX) ++column_;
  if (c == 10) {
    if (line_ < INT_MAX) ++line_;
    column_ = 1;
  }
  const bool space = text::is_space(c);
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
        if (reading_name_) {
          if (buffer_.empty()) Fail(u"Nazwa pola nie może być pusta");
          member_name_ = buffer_;
          state_ = State::AfterName;
        } else {
          *current_ = JsonHolder(buffer_);  // a copy of exact size; the buffer keeps its room
          CloseScalar();
          state_ = State::AfterValue;
        }
      } else if (c == u'\\') {
        escape_.clear();
        state_ = State::InEscape;
      } else {
        buffer_ += c;
      }
      return;
    case State::InLiteral:
      if (IsOneOf(c, u"nultrefas")) {
        buffer_ += c;
        return;
      }
      EndLiteral();
      return AfterValue(c, u"Nieprawidłowy literał lub znak po literale");
    case State::InNumber:
      // A "+" belongs to the number right after the exponent letter: the writer's "%G" puts one
      // there ("1.23457E+006"), and a document must read back what it wrote.
      if (text::is_digit(c) || IsOneOf(c, u"Ee-.") || (c == u'+' && IsOneOf(buffer_.back(), u"Ee"))) {
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
  std::size_t i = 0;
  return RunParser(units.size(), [&] { return units[i++]; }, json, status_text);
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
