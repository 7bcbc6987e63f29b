// Differential test against an independent, well-known JSON reader: on valid documents both must
// see the same structure and the same values, and the compact text written back must read as the
// same document. The documents are generated (fixed seed) in the forms this parser accepts: a
// container at the root, unique member names.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <climits>
#include <cmath>
#include <random>
#include <string>

#include "library/json/json_parser.h"
#include "parsed.h"
#include "text/format.h"
#include "text/utf.h"

using namespace VostUsbWardenManager;

namespace {

class DocumentGenerator {
 public:
  // `writer_safe`: only values that the compact writer reproduces exactly (numbers of at most six
  // significant digits below a million, no control characters beyond the five it escapes).
  DocumentGenerator(unsigned seed, bool writer_safe) : random_(seed), writer_safe_(writer_safe) {}

  std::u16string Document() {
    std::u16string out;
    Space(out);
    Pick(2) == 0 ? Array(out, 0) : Object(out, 0);
    Space(out);
    return out;
  }

 private:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  void Space(std::u16string& out) {
    static const char16_t kSpace[] = u" \t\r\n";
    for (int n = Pick(4) == 0 ? Pick(3) : 0; n > 0; --n) out += kSpace[Pick(4)];
  }

  void Value(std::u16string& out, int depth) {
    const int kind = Pick(depth < 4 ? 8 : 6);
    switch (kind) {
      case 0: out += u"null"; break;
      case 1: out += Pick(2) ? u"true" : u"false"; break;
      case 2: case 3: Number(out); break;
      case 4: case 5: String(out); break;
      case 6: Array(out, depth + 1); break;
      default: Object(out, depth + 1); break;
    }
  }

  void Array(std::u16string& out, int depth) {
    out += u'[';
    const int n = Pick(6);
    for (int i = 0; i < n; ++i) {
      if (i > 0) out += u',';
      Space(out);
      Value(out, depth);
      Space(out);
    }
    if (n == 0) Space(out);
    out += u']';
  }

  void Object(std::u16string& out, int depth) {
    out += u'{';
    const int n = Pick(6);
    for (int i = 0; i < n; ++i) {
      if (i > 0) out += u',';
      Space(out);
      // Names end in "#<index>", so they are unique whatever comes before.
      std::u16string name;
      StringBody(name);
      out += u'"' + name + u'#' + text::format(u"%d", i) + u'"';
      Space(out);
      out += u':';
      Space(out);
      Value(out, depth);
      Space(out);
    }
    if (n == 0) Space(out);
    out += u'}';
  }

  void Number(std::u16string& out) {
    if (writer_safe_) {
      // Quarters below a million have at most six significant digits when their magnitude allows.
      const int whole = Pick(2) ? Pick(1000) : Pick(1000000);
      const int quarter = whole < 1000 ? Pick(4) : 0;
      const char16_t* fractions[] = {u"", u".25", u".5", u".75"};
      out += (Pick(3) == 0 ? u"-" : u"") + text::format(u"%d", whole) + fractions[quarter];
      return;
    }
    switch (Pick(6)) {
      case 0: out += text::format(u"%d", Pick(2000) - 1000); break;
      case 1: out += text::format(u"%lld", std::uniform_int_distribution<long long>(LLONG_MIN, LLONG_MAX)(random_)); break;
      case 2: out += text::format(u"%d.%d", Pick(100000) - 50000, Pick(1000000)); break;
      case 3: out += text::format(u"%d.%de-%d", Pick(10), Pick(1000), Pick(300)); break;
      case 4: out += text::format(Pick(2) ? u"%dE%d" : u"%dE+%d", Pick(1000) - 500, Pick(300)); break;
      default: out += Pick(2) ? u"-0" : u"0.0"; break;
    }
  }

  void String(std::u16string& out) {
    out += u'"';
    StringBody(out);
    out += u'"';
  }

  void StringBody(std::u16string& out) {
    static const std::u16string kPlain = u"abcXYZ 019_-#/:,{}[]";
    static const std::u16string kLetters = u"éłżĄ中ßЖ\x00A0\x2028\xFFFD";
    static const char16_t* kEscapes[] = {u"\\\"", u"\\\\", u"\\/", u"\\b", u"\\f", u"\\n", u"\\r", u"\\t"};
    for (int n = Pick(8); n > 0; --n) {
      switch (Pick(6)) {
        case 0: case 1: out += kPlain[Pick(static_cast<int>(kPlain.size()))]; break;
        case 2: out += kLetters[Pick(static_cast<int>(kLetters.size()))]; break;
        case 3: out += kEscapes[Pick(8)]; break;
        case 4: {
          // An escaped code unit outside the surrogates (control characters only when not safe).
          int unit;
          do {
            unit = Pick(0x10000);
          } while ((unit >= 0xD800 && unit <= 0xDFFF) || (writer_safe_ && unit < 0x20));
          out += text::format(Pick(2) ? u"\\u%04x" : u"\\u%04X", unit);
          break;
        }
        default: {
          // A character beyond the basic plane, raw or as an escaped pair.
          const int hi = 0xD800 + Pick(0x400), lo = 0xDC00 + Pick(0x400);
          if (Pick(2)) {
            out += static_cast<char16_t>(hi);
            out += static_cast<char16_t>(lo);
          } else {
            out += text::format(u"\\u%04x\\u%04x", hi, lo);
          }
          break;
        }
      }
    }
  }

  std::mt19937 random_;
  bool writer_safe_;
};

// Empty when both readers saw the same; otherwise where they differ.
std::string Difference(const JsonHolder& ours, const nlohmann::json& theirs, const std::string& path = "$") {
  using nlohmann::json;
  switch (ours.GetTyp()) {
    case JsonHolderType::Null:
      return theirs.is_null() ? "" : path + ": null vs " + theirs.dump();
    case JsonHolderType::Boolean:
      return theirs.is_boolean() && theirs.get<bool>() == ours.Value().flag ? "" : path + ": boolean vs " + theirs.dump();
    case JsonHolderType::Number: {
      if (!theirs.is_number()) return path + ": number vs " + theirs.dump();
      // The reference keeps integers exact; converted, they round the same way a double reads them.
      const double expected = theirs.is_number_integer() ? (theirs.is_number_unsigned()
                                                                ? static_cast<double>(theirs.get<std::uint64_t>())
                                                                : static_cast<double>(theirs.get<std::int64_t>()))
                                                          : theirs.get<double>();
      const double actual = ours.NumberVal();
      // The reference reads "-0" as the integer 0, without its sign.
      const bool same_sign = !theirs.is_number_float() || std::signbit(actual) == std::signbit(expected);
      return actual == expected && same_sign
                 ? ""
                 : path + ": " + std::to_string(actual) + " vs " + theirs.dump();
    }
    case JsonHolderType::String:
      return theirs.is_string() && text::from_utf8(theirs.get<std::string>()) == ours.StringVal()
                 ? ""
                 : path + ": string vs " + theirs.dump();
    case JsonHolderType::Array: {
      if (!theirs.is_array() || theirs.size() != ours.Count()) return path + ": array vs " + theirs.dump();
      for (std::size_t i = 0; i < theirs.size(); ++i) {
        const std::string d = Difference(ours[static_cast<int>(i)], theirs[i], path + "[" + std::to_string(i) + "]");
        if (!d.empty()) return d;
      }
      return "";
    }
    case JsonHolderType::Object: {
      if (!theirs.is_object() || theirs.size() != ours.Count()) return path + ": object vs " + theirs.dump();
      for (const auto& [name, value] : theirs.items()) {
        const std::u16string key = text::from_utf8(name);
        if (!ours.HasField(key)) return path + ": no member " + name;
        const std::string d = Difference(ours[key], value, path + "." + name);
        if (!d.empty()) return d;
      }
      return "";
    }
    default:
      return path + ": undefined";
  }
}

}  // namespace

TEST(LibraryJsonDifferential, GeneratedDocumentsReadTheSame) {
  DocumentGenerator generator(20240611, false);
  for (int i = 0; i < 400; ++i) {
    const std::u16string document = generator.Document();
    SCOPED_TRACE(text::to_utf8_display(document));
    const nlohmann::json theirs = nlohmann::json::parse(text::to_utf8_display(document));
    EXPECT_EQ("", Difference(Parsed(document), theirs));
  }
}

TEST(LibraryJsonDifferential, WrittenTextReadsBackTheSame) {
  DocumentGenerator generator(7, true);
  for (int i = 0; i < 400; ++i) {
    const std::u16string document = generator.Document();
    SCOPED_TRACE(text::to_utf8_display(document));
    const nlohmann::json theirs = nlohmann::json::parse(text::to_utf8_display(document));
    const std::u16string written = Parsed(document).ToString();
    EXPECT_EQ(theirs, nlohmann::json::parse(text::to_utf8_display(written))) << text::to_utf8_display(written);
    // Written twice, the text does not change.
    EXPECT_EQ(written, Parsed(written).ToString());
  }
}

TEST(LibraryJsonDifferential, DeviceDocumentReadsTheSame) {
  const std::u16string document =
      u"[{\"ConnectionInformation\":{\"ConnectionIndex\":2,\"ConnectionStatus\":1,\"CurrentConfigurationValue\":1,"
      u"\"DeviceAddress\":5,\"DeviceIsHub\":false,\"NumberOfOpenPipes\":2,\"PipeList\":[{\"bEndpointAddress\":129,"
      u"\"bInterval\":10}],\"Speed\":2},\"DEVINST\":4.29497E+009,\"DeviceDescriptor\":{\"Manufacturer\":\"Żółw "
      u"Sp. z o.o.\",\"Product\":\"Mysz \\\"Pro\\\"\",\"bcdUSB\":512,\"idProduct\":49271,\"idVendor\":1133},"
      u"\"DeviceProperty\":{\"BusTypeGuid\":{\"Data1\":2.64228E+009,\"Data2\":48930,\"Data3\":4560,\"Data4\":[140,"
      u"134,0,160,201,31,205,66]},\"CompatibleIDs\":[],\"HardwareID\":[\"USB\\\\VID_046D&PID_C077&REV_7200\","
      u"\"USB\\\\VID_046D&PID_C077\"],\"InstallState\":\"InstallStateInstalled\"},\"DriveLetters\":\"EF\","
      u"\"IsHub\":false,\"PortNumberOfBus\":2}]";
  const nlohmann::json theirs = nlohmann::json::parse(text::to_utf8_display(document));
  const JsonHolder ours = Parsed(document);
  EXPECT_EQ("", Difference(ours, theirs));
  EXPECT_EQ(theirs, nlohmann::json::parse(text::to_utf8_display(ours.ToString())));
}
