// The tokens of the lenient reader. Internal to the JSON value.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class CJsonTokenizer {
 public:
  enum class Token { End, OpenBrace, CloseBrace, OpenBracket, CloseBracket, Comma, Colon, String, Number, True, False, Null };

  // The text ends at its end or at its first NUL, whichever comes first.
  CJsonTokenizer(std::u16string_view text, bool wide_numbers) : text_(text), wide_numbers_(wide_numbers) {}

  // The next token. Skips tabs, line ends and blanks only. A character that cannot begin a token
  // gives End without advancing, so reading stops there for good.
  Token next();

  // After a String token: its text, unescaped, without the opening quote and without one trailing
  // quote (the closing one, or an escaped one when the text ended before the string was closed).
  std::u16string take_string() { return std::move(string_); }
  // After a Number token: _wtoi of the token, so only its leading integer part counts.
  int number() const { return number_; }

  // Every later token is End, as at the end of the text.
  void stop() { stopped_ = true; }

 private:
  char16_t at(std::size_t i) const { return i < text_.size() ? text_[i] : u'\0'; }
  void read_string();
  void read_number();
  bool read_word(std::u16string_view word);

  std::u16string_view text_;
  std::size_t pos_ = 0;
  bool wide_numbers_;
  bool stopped_ = false;
  std::u16string string_;
  int number_ = 0;
};
