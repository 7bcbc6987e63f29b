#include "decision/json_copy.h"

#include <string>
#include <utility>

namespace {

// The node written out without the member name that it carries inside an object (a quoted name
// and " : " in front of the value), so that it reads back as a value of its own.
std::u16string unnamed_text(const CJsonNode& node) {
  std::u16string text = node.serialise(0);
  if (!node.name().empty()) text.erase(0, node.name().size() + 5);
  return text;
}

}  // namespace

CJsonNode copy_document(const CJsonNode& document) {
  CJsonNode copy;
  copy.parse(unnamed_text(document));
  return copy;
}

void append_copy(CJsonNode& array, CJsonNode& element) {
  switch (element.type()) {
    case CJsonNode::kInteger:
      array.append_integer(element.number());
      return;
    case CJsonNode::kBoolean:
      array.append_boolean(element.flag());
      return;
    case CJsonNode::kString:
      array.append_string(element.as_string());
      return;
    case CJsonNode::kArray: {
      // An array's text reads as a document that holds the array as its only element.
      CJsonNode holder;
      holder.parse(unnamed_text(element));
      array.append_node(holder.children().empty() ? CJsonNode() : std::move(holder.children().begin()->second));
      return;
    }
    default:
      array.append_node(copy_document(element));
      return;
  }
}
