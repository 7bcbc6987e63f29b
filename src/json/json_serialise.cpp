// The writer: one fixed layout for every document the process writes.
#include <string>
#include <string_view>
#include <vector>

#include "json/json_format.h"
#include "json/json_node.h"

namespace {

bool is_container(const CJsonNode& node) { return node.type() == CJsonNode::kObject || node.type() == CJsonNode::kArray; }

// The letter written after a backslash for the characters that are escaped, else 0.
char16_t escape_letter(char16_t c) {
  if (c > u'\\') return 0;  // the common case: every escaped character is at most a backslash
  switch (c) {
    case u'"': return u'"';
    case u'\n': return u'n';
    case u'\r': return u'r';
    case u'\t': return u't';
    case u'\\': return u'\\';
    default: return 0;
  }
}

void append_escaped(std::u16string& out, std::u16string_view text) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t letter = escape_letter(text[i]);
    if (!letter) continue;
    out.append(text.substr(start, i - start));
    out += u'\\';
    out += letter;
    start = i + 1;
  }
  out.append(text.substr(start));
}

}  // namespace

void CJsonNode::append_head(std::u16string& out, std::size_t indent) const {
  out.append(indent, u' ');
  if (!name_.empty()) {
    out += u'"';
    out += name_;  // names are quoted, not escaped
    out += u"\" : ";
  }
  switch (type_) {
    case kObject: out += u"{\r\n"; break;
    case kArray: out += u"[\r\n"; break;
    case kInteger: json_format::append_decimal(out, number_); break;
    case kBoolean: out += flag_ ? u"true" : u"false"; break;
    case kString:
      out += u'"';
      append_escaped(out, text_);
      out += u'"';
      break;
  }
}

std::u16string CJsonNode::serialise(std::size_t indent) const {
  // Depth-first with an explicit stack, so trees of any depth are written without recursion, into
  // one buffer, so the time is linear in the length of the text.
  struct Level {
    const CJsonNode* node;
    Children::const_iterator next;
    std::size_t indent;
  };
  std::u16string out;
  append_head(out, indent);
  if (!is_container(*this)) return out;
  std::vector<Level> levels{{this, children_.begin(), indent}};
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next == level.node->children_.end()) {
      out.append(level.indent, u' ');
      out += level.node->type_ == kObject ? u'}' : u']';
      levels.pop_back();
      if (levels.empty()) break;
      if (levels.back().next != levels.back().node->children_.end()) out += u", ";
      out += u"\r\n";
      continue;
    }
    const CJsonNode& child = level.next->second;
    ++level.next;
    const std::size_t child_indent = level.indent + 4;
    child.append_head(out, child_indent);
    if (is_container(child)) {
      levels.push_back({&child, child.children_.begin(), child_indent});
    } else {
      if (level.next != level.node->children_.end()) out += u", ";
      out += u"\r\n";
    }
  }
  return out;
}
