// The compact writer. Iterative, with an explicit stack, so a tree of any depth can be written.
#include <cmath>

#include "library/json/json_holder.h"
#include "text/format.h"

namespace VostUsbWardenManager {

namespace {

// Only the backslash, the double quote and five control characters are escaped; everything else
// (other control characters, "/", non-ASCII letters, lone surrogates) is copied as it stands.
void AppendQuoted(std::u16string& out, const std::u16string& text) {
  out += u'"';
  for (const char16_t c : text) {
    switch (c) {
      case u'\\': out += u"\\\\"; break;
      case u'"': out += u"\\\""; break;
      case 8: out += u"\\b"; break;
      case 12: out += u"\\f"; break;
      case 10: out += u"\\n"; break;
      case 13: out += u"\\r"; break;
      case 9: out += u"\\t"; break;
      default: out += c; break;
    }
  }
  out += u'"';
}

}  // namespace

class JsonWriter {
 public:
  std::u16string Write(const JsonHolder& root) {
    Value(root);
    while (!open_.empty()) Step();
    return std::move(out_);
  }

 private:
  struct Open {
    const JsonHolder* node;
    std::size_t index;                  // array: next element
    JsonObject::const_iterator member;  // object: next member
  };

  // Writes a scalar whole, or the opening bracket of a container whose content follows.
  void Value(const JsonHolder& v) {
    switch (v.type_) {
      case JsonHolderType::Null:
        out_ += u"null";
        break;
      case JsonHolderType::Boolean:
        out_ += v.value_.flag ? u"true" : u"false";
        break;
      case JsonHolderType::Number:
        Number(v.value_.number);
        break;
      case JsonHolderType::String:
        AppendQuoted(out_, *v.value_.text);
        break;
      case JsonHolderType::Array:
        out_ += u'[';
        open_.push_back({&v, 0, {}});
        break;
      case JsonHolderType::Object:
        out_ += u'{';
        open_.push_back({&v, 0, v.value_.object->begin()});
        break;
      default:
        throw JsonHolderException(u"Nieokreślony typ wartości");
    }
  }

  // Infinity and NaN have no JSON form ("%G" gives INF and NAN, which no reader accepts, this
  // library's own included); they are written as null so the text stays readable.
  void Number(double number) {
    if (!std::isfinite(number)) {
      out_ += u"null";
      return;
    }
    // Whole numbers below a million, the common case of the library's documents, come out of "%G"
    // as their plain digits; they are written directly. Negative zero keeps its sign through "%G".
    if (std::fabs(number) < 1e6 && number == std::trunc(number) && !(number == 0 && std::signbit(number))) {
      AppendInteger(static_cast<long>(number));
      return;
    }
    out_ += text::format(u"%G", number);
  }

  void AppendInteger(long value) {
    if (value < 0) out_ += u'-';
    unsigned long magnitude = value < 0 ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    char16_t digits[8];
    std::size_t n = 0;
    do {
      digits[n++] = static_cast<char16_t>(u'0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
    while (n > 0) out_ += digits[--n];
  }

  // Writes the next element or member of the innermost open container, or closes it.
  void Step() {
    Open& top = open_.back();
    if (top.node->type_ == JsonHolderType::Array) {
      const JsonArray& elements = *top.node->value_.array;
      if (top.index == elements.size()) {
        out_ += u']';
        open_.pop_back();
        return;
      }
      if (top.index > 0) out_ += u',';
      const JsonHolder& child = *elements[top.index++];
      Value(child);  // may grow open_, so `top` is not used after this
      return;
    }
    const JsonObject& members = *top.node->value_.object;
    if (top.member == members.end()) {
      out_ += u'}';
      open_.pop_back();
      return;
    }
    if (top.member != members.begin()) out_ += u',';
    const auto& [name, child] = *top.member++;
    AppendQuoted(out_, name);
    out_ += u':';
    Value(*child);
  }

  std::u16string out_;
  std::vector<Open> open_;
};

std::u16string JsonHolder::ToString() const { return JsonWriter().Write(*this); }

std::u16string JsonHolder::quote(const std::u16string& text) {
  std::u16string out;
  out.reserve(text.size() + 2);
  AppendQuoted(out, text);
  return out;
}

}  // namespace VostUsbWardenManager
