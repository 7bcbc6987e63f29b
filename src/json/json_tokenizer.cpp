#include "json/json_tokenizer.h"

#include "text/number.h"

namespace {

bool is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool is_wide_number_char(char16_t c) {
  return is_digit(c) || c == u'+' || c == u'-' || c == u'.' || c == u'E' || c == u'e';
}

}  // namespace

CJsonTokenizer::Token CJsonTokenizer::next() {
  if (stopped_) return Token::End;
  for (char16_t c = at(pos_); c == 9 || c == 10 || c == 13 || c == 32; c = at(pos_)) ++pos_;
  const char16_t c = at(pos_);
  switch (c) {
    case u'{': ++pos_; return Token::OpenBrace;
    case u'}': ++pos_; return Token::CloseBrace;
    case u'[': ++pos_; return Token::OpenBracket;
    case u']': ++pos_; return Token::CloseBracket;
    case u',': ++pos_; return Token::Comma;
    case u':': ++pos_; return Token::Colon;
    case u'"': read_string(); return Token::String;
    default: break;
  }
  if (c == u'-' || is_digit(c)) {
    read_number();
    return Token::Number;
  }
  // Words match by prefix: nothing looks at the character behind them.
  if (read_word(u"false")) return Token::False;
  if (read_word(u"true")) return Token::True;
  if (read_word(u"null")) return Token::Null;
  return Token::End;
}

void CJsonTokenizer::read_string() {
  string_.clear();
  ++pos_;  // the opening quote
  for (;;) {
    // Plain runs are copied whole.
    std::size_t run = pos_;
    for (char16_t c = at(run); c != u'\0' && c != u'"' && c != u'\\'; c = at(run)) ++run;
    string_.append(text_.substr(pos_, run - pos_));
    pos_ = run;
    const char16_t c = at(pos_);
    if (c == u'"') {
      ++pos_;
      return;
    }
    if (c == u'\0') break;
    // A backslash: the next character is taken as itself, except n, r and t.
    const char16_t escaped = at(pos_ + 1);
    if (escaped == u'\0') {
      ++pos_;
      break;
    }
    pos_ += 2;
    string_ += escaped == u'n' ? u'\n' : escaped == u'r' ? u'\r' : escaped == u't' ? u'\t' : escaped;
  }
  // The text ended inside the string: a trailing quote (an escaped one) counts as the closing one.
  if (!string_.empty() && string_.back() == u'"') string_.pop_back();
}

void CJsonTokenizer::read_number() {
  const std::size_t start = pos_++;
  if (wide_numbers_) {
    while (is_wide_number_char(at(pos_))) ++pos_;
  } else {
    while (is_digit(at(pos_))) ++pos_;
  }
  number_ = text::wtoi(text_.substr(start, pos_ - start));
}

bool CJsonTokenizer::read_word(std::u16string_view word) {
  if (text_.substr(pos_, word.size()) != word) return false;
  pos_ += word.size();
  return true;
}
