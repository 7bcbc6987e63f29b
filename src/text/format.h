// printf-style formatting into UTF-16 text, with the results of the Windows C run-time's wide
// functions for the conversions this system uses: d i u x X o c s % and e E f g G, with the flags
// "-+ #0", width and precision (numbers or "*"), and the length modifiers h l ll I64 z (accepted and
// ignored: every argument keeps its own type). Exponents have at least three digits ("1E+009"), as the
// process has always written them. "%c" of 0 writes a NUL code unit, as swprintf does.
// Arguments are typed, so a directive never reads a value of the wrong type: a directive with no
// argument left writes nothing, and a number given to "%s" is written in decimal.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace text {

class FormatArg {
 public:
  enum class Kind { Signed, Unsigned, Real, Char, Text };

  FormatArg(int v) : kind_(Kind::Signed), s_(v) {}
  FormatArg(long v) : kind_(Kind::Signed), s_(v) {}
  FormatArg(long long v) : kind_(Kind::Signed), s_(v) {}
  FormatArg(unsigned v) : kind_(Kind::Unsigned), u_(v) {}
  FormatArg(unsigned long v) : kind_(Kind::Unsigned), u_(v) {}
  FormatArg(unsigned long long v) : kind_(Kind::Unsigned), u_(v) {}
  FormatArg(double v) : kind_(Kind::Real), d_(v) {}
  FormatArg(char16_t v) : kind_(Kind::Char), u_(v) {}
  FormatArg(const char16_t* v) : kind_(Kind::Text), t_(v ? std::u16string_view(v) : std::u16string_view(u"(null)")) {}
  FormatArg(std::u16string_view v) : kind_(Kind::Text), t_(v) {}
  FormatArg(const std::u16string& v) : kind_(Kind::Text), t_(v) {}

  Kind kind() const { return kind_; }
  long long as_signed() const;
  unsigned long long as_unsigned() const;
  double as_real() const;
  std::u16string_view as_text() const { return t_; }

 private:
  Kind kind_;
  long long s_ = 0;
  unsigned long long u_ = 0;
  double d_ = 0;
  std::u16string_view t_;
};

// Formats `fmt`. When `limit` is given and the result would be longer than `limit` code units,
// returns nothing, as _vsnwprintf with that count reports failure.
std::optional<std::u16string> vformat(std::u16string_view fmt, std::initializer_list<FormatArg> args,
                                      std::optional<std::size_t> limit = std::nullopt);

template <class... Args>
std::u16string format(std::u16string_view fmt, const Args&... args) {
  return *vformat(fmt, {FormatArg(args)...});
}

}  // namespace text
