#include "text/format.h"

#include <cmath>
#include <cstdio>

namespace text {

long long FormatArg::as_signed() const {
  switch (kind_) {
    case Kind::Signed: return s_;
    case Kind::Unsigned:
    case Kind::Char: return static_cast<long long>(u_);
    case Kind::Real: return static_cast<long long>(d_);
    case Kind::Text: return 0;
  }
  return 0;
}

unsigned long long FormatArg::as_unsigned() const {
  switch (kind_) {
    case Kind::Signed: return static_cast<unsigned long long>(s_);
    case Kind::Unsigned:
    case Kind::Char: return u_;
    case Kind::Real: return static_cast<unsigned long long>(static_cast<long long>(d_));
    case Kind::Text: return 0;
  }
  return 0;
}

double FormatArg::as_real() const {
  switch (kind_) {
    case Kind::Signed: return static_cast<double>(s_);
    case Kind::Unsigned:
    case Kind::Char: return static_cast<double>(u_);
    case Kind::Real: return d_;
    case Kind::Text: return 0;
  }
  return 0;
}

namespace {

struct Spec {
  bool left = false, plus = false, space = false, alt = false, zero = false;
  int width = 0;
  int precision = -1;
  char16_t conv = 0;
};

std::u16string widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// Pads `body` (which may start with a sign or "0x" prefix of length `prefix_len`) to the width.
void pad(std::u16string& out, const Spec& spec, std::u16string body, std::size_t prefix_len, bool zero_ok) {
  const std::size_t width = spec.width > 0 ? static_cast<std::size_t>(spec.width) : 0;
  if (body.size() < width) {
    const std::size_t fill = width - body.size();
    if (spec.left) {
      body.append(fill, u' ');
    } else if (spec.zero && zero_ok) {
      body.insert(prefix_len, fill, u'0');
    } else {
      body.insert(0, fill, u' ');
    }
  }
  out += body;
}

std::u16string digits(unsigned long long v, unsigned base, bool upper) {
  const char16_t* set = upper ? u"0123456789ABCDEF" : u"0123456789abcdef";
  std::u16string d;
  do {
    d.insert(d.begin(), set[v % base]);
    v /= base;
  } while (v != 0);
  return d;
}

void put_integer(std::u16string& out, const Spec& spec, const FormatArg& arg) {
  std::u16string prefix;
  unsigned long long magnitude;
  unsigned base = 10;
  bool upper = false;
  switch (spec.conv) {
    case u'd':
    case u'i': {
      const long long v = arg.as_signed();
      magnitude = v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
      if (v < 0) prefix = u"-";
      else if (spec.plus) prefix = u"+";
      else if (spec.space) prefix = u" ";
      break;
    }
    default:
      magnitude = arg.as_unsigned();
      // A signed argument formatted unsigned keeps the width it was given, as the C run-time sees
      // a 32-bit int for "%x" and "%u".
      if (arg.kind() == FormatArg::Kind::Signed && arg.as_signed() >= INT32_MIN && arg.as_signed() <= UINT32_MAX) {
        magnitude &= 0xFFFFFFFFULL;
      }
      if (spec.conv == u'x' || spec.conv == u'X') {
        base = 16;
        upper = spec.conv == u'X';
        if (spec.alt && magnitude != 0) prefix = upper ? u"0X" : u"0x";
      } else if (spec.conv == u'o') {
        base = 8;
      }
      break;
  }
  std::u16string body = digits(magnitude, base, upper);
  if (spec.precision >= 0) {
    if (spec.precision == 0 && magnitude == 0) body.clear();
    if (body.size() < static_cast<std::size_t>(spec.precision)) {
      body.insert(0, static_cast<std::size_t>(spec.precision) - body.size(), u'0');
    }
  }
  if (spec.conv == u'o' && spec.alt && (body.empty() || body[0] != u'0')) body.insert(0, u"0");
  pad(out, spec, prefix + body, prefix.size(), spec.precision < 0);
}

// Widens the exponent of C99 output ("e+05") to at least three digits ("e+005").
std::string three_digit_exponent(std::string s) {
  const std::size_t e = s.find_first_of("eE");
  if (e == std::string::npos || e + 1 >= s.size()) return s;
  const std::size_t sign = e + 1;
  if (s[sign] != '+' && s[sign] != '-') return s;
  const std::size_t first = sign + 1;
  std::size_t count = s.size() - first;
  while (count < 3) {
    s.insert(first, 1, '0');
    ++count;
  }
  return s;
}

void put_real(std::u16string& out, const Spec& spec, const FormatArg& arg) {
  const double v = arg.as_real();
  std::string fmt = "%";
  if (spec.plus) fmt += '+';
  if (spec.space) fmt += ' ';
  if (spec.alt) fmt += '#';
  if (spec.precision >= 0) fmt += "." + std::to_string(spec.precision);
  fmt += static_cast<char>(spec.conv);
  char buf[512];
  const int n = std::snprintf(buf, sizeof buf, fmt.c_str(), v);
  std::string s = n < 0 ? std::string() : std::string(buf, static_cast<std::size_t>(std::min(n, 511)));
  if (std::isfinite(v)) s = three_digit_exponent(s);
  const bool has_sign = !s.empty() && (s[0] == '-' || s[0] == '+' || s[0] == ' ');
  pad(out, spec, widen(s), has_sign ? 1 : 0, std::isfinite(v));
}

void put_text(std::u16string& out, const Spec& spec, const FormatArg& arg) {
  std::u16string body;
  if (arg.kind() == FormatArg::Kind::Text) {
    body = std::u16string(arg.as_text());
  } else if (arg.kind() == FormatArg::Kind::Real) {
    Spec g;
    g.conv = u'g';
    put_real(body, g, arg);
  } else {
    Spec d;
    d.conv = arg.kind() == FormatArg::Kind::Signed ? u'd' : u'u';
    put_integer(body, d, arg);
  }
  if (spec.precision >= 0 && body.size() > static_cast<std::size_t>(spec.precision)) {
    body.resize(static_cast<std::size_t>(spec.precision));
  }
  pad(out, spec, body, 0, false);
}

}  // namespace

std::optional<std::u16string> vformat(std::u16string_view fmt, std::initializer_list<FormatArg> args,
                                      std::optional<std::size_t> limit) {
  std::u16string out;
  auto next = args.begin();
  auto take_int = [&]() -> int {
    if (next == args.end()) return 0;
    return static_cast<int>((next++)->as_signed());
  };
  std::size_t i = 0;
  while (i < fmt.size()) {
    const char16_t c = fmt[i++];
    if (c != u'%') {
      out += c;
      continue;
    }
    Spec spec;
    for (; i < fmt.size(); ++i) {
      const char16_t f = fmt[i];
      if (f == u'-') spec.left = true;
      else if (f == u'+') spec.plus = true;
      else if (f == u' ') spec.space = true;
      else if (f == u'#') spec.alt = true;
      else if (f == u'0') spec.zero = true;
      else break;
    }
    if (i < fmt.size() && fmt[i] == u'*') {
      spec.width = take_int();
      if (spec.width < 0) {
        spec.left = true;
        spec.width = -spec.width;
      }
      ++i;
    } else {
      while (i < fmt.size() && fmt[i] >= u'0' && fmt[i] <= u'9') spec.width = spec.width * 10 + (fmt[i++] - u'0');
    }
    if (i < fmt.size() && fmt[i] == u'.') {
      ++i;
      spec.precision = 0;
      if (i < fmt.size() && fmt[i] == u'*') {
        spec.precision = take_int();
        ++i;
      } else {
        while (i < fmt.size() && fmt[i] >= u'0' && fmt[i] <= u'9') spec.precision = spec.precision * 10 + (fmt[i++] - u'0');
      }
    }
    // Length modifiers carry no meaning here: every argument knows its own type.
    while (i < fmt.size()) {
      if (fmt[i] == u'h' || fmt[i] == u'l' || fmt[i] == u'z' || fmt[i] == u'L' || fmt[i] == u'w') {
        ++i;
      } else if (fmt.substr(i, 3) == u"I64" || fmt.substr(i, 3) == u"I32") {
        i += 3;
      } else {
        break;
      }
    }
    if (i >= fmt.size()) break;
    spec.conv = fmt[i++];
    if (spec.conv == u'%') {
      out += u'%';
      continue;
    }
    if (next == args.end()) continue;
    const FormatArg& arg = *next++;
    switch (spec.conv) {
      case u'd': case u'i': case u'u': case u'x': case u'X': case u'o':
        put_integer(out, spec, arg);
        break;
      case u'e': case u'E': case u'f': case u'F': case u'g': case u'G':
        put_real(out, spec, arg);
        break;
      case u'c': case u'C':
        pad(out, spec, std::u16string(1, static_cast<char16_t>(arg.as_unsigned())), 0, false);
        break;
      case u's': case u'S':
        put_text(out, spec, arg);
        break;
      default:
        // An unknown conversion is written as it stands, as the C run-time does.
        out += spec.conv;
        break;
    }
  }
  if (limit && out.size() > *limit) return std::nullopt;
  return out;
}

}  // namespace text
