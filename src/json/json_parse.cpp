// The lenient reader: how a text becomes a tree.
#include <string>
#include <string_view>
#include <utility>

#include "json/json_node.h"
#include "json/json_tokenizer.h"

namespace {

constexpr std::u16string_view kHexPrefix = u"*hex*";

std::u16string_view up_to_nul(std::u16string_view text) { return text.substr(0, text.find(u'\0')); }

// wcstol(L"0x" + group, 16): the leading hexadecimal digits of the group; anything else ends it.
char16_t hex_group_value(std::u16string_view group) {
  unsigned value = 0;
  for (char16_t c : group) {
    unsigned digit;
    if (c >= u'0' && c <= u'9') digit = c - u'0';
    else if (c >= u'a' && c <= u'f') digit = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F') digit = c - u'A' + 10;
    else break;
    value = value * 16 + digit;
  }
  return static_cast<char16_t>(value);
}

// Four hexadecimal digits per code unit; digits left over after the last full group are ignored.
std::u16string decode_hex(std::u16string_view digits) {
  std::u16string decoded;
  decoded.reserve(digits.size() / 4);
  for (std::size_t i = 0; i + 4 <= digits.size(); i += 4) decoded += hex_group_value(digits.substr(i, 4));
  return decoded;
}

}  // namespace

// Fills a node from the tokens that follow its opening brace or bracket. A string followed by ":"
// names the next value; a string followed by "," or "]" is an element; a string directly followed by
// "}" is dropped. Values without a pending name are appended, which turns the node into an array.
class CJsonReader {
 public:
  explicit CJsonReader(CJsonTokenizer& tokens) : tokens_(tokens) {}

  void fill(CJsonNode& node, int depth) {
    std::u16string pending;
    bool empty_pending = false;  // an empty string is pending; cleared only at a comma
    for (auto token = tokens_.next(); token != Token::End; token = tokens_.next()) {
      switch (token) {
        case Token::CloseBrace:
          return;
        case Token::CloseBracket:
          if (!pending.empty() || empty_pending) node.append_string(std::move(pending));
          return;
        case Token::Colon:
          break;
        case Token::Comma:
          if (!pending.empty() || empty_pending) node.append_string(std::move(pending));
          pending.clear();
          empty_pending = false;
          break;
        case Token::String:
          if (!pending.empty()) {
            node.set_string(pending, tokens_.take_string());
            pending.clear();
          } else {
            pending = tokens_.take_string();
            if (pending.empty()) empty_pending = true;
          }
          break;
        case Token::OpenBrace:
        case Token::OpenBracket: {
          if (depth >= CJsonNode::kMaxReadDepth) {
            tokens_.stop();
            return;
          }
          CJsonNode child(token == Token::OpenBracket ? CJsonNode::kArray : CJsonNode::kObject);
          fill(child, depth + 1);
          if (!pending.empty()) node.add_node(pending, std::move(child));
          else node.append_node(std::move(child));
          pending.clear();
          break;
        }
        default:
          put_scalar(node, token, pending);
          pending.clear();
          break;
      }
    }
  }

 private:
  using Token = CJsonTokenizer::Token;

  void put_scalar(CJsonNode& node, Token token, const std::u16string& name) {
    const bool named = !name.empty();
    switch (token) {
      case Token::Number:
      case Token::Null: {
        const int value = token == Token::Number ? tokens_.number() : 0;
        if (named) node.set_integer(name, value);
        else node.append_integer(value);
        break;
      }
      case Token::True:
      case Token::False:
        if (named) node.set_boolean(name, token == Token::True);
        else node.append_boolean(token == Token::True);
        break;
      default:
        break;
    }
  }

  CJsonTokenizer& tokens_;
};

int CJsonNode::parse(std::u16string_view text) {
  clear();
  text = up_to_nul(text);
  std::u16string decoded;
  if (text.substr(0, kHexPrefix.size()) == kHexPrefix) {
    decoded = decode_hex(text.substr(kHexPrefix.size()));
    text = up_to_nul(decoded);
  }
  std::u16string wrapped;
  if (text.empty() || text.front() != u'{') {
    wrapped.reserve(text.size() + 2);
    wrapped += u'{';
    wrapped += text;
    wrapped += u'}';
    text = wrapped;
  }
  CJsonTokenizer tokens(text, wide_numbers_);
  if (tokens.next() != CJsonTokenizer::Token::OpenBrace) return 0;
  CJsonReader(tokens).fill(*this, 1);
  return 1;
}
