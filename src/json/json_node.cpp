#include "json/json_node.h"

#include <utility>
#include <vector>

#include "json/json_format.h"

CJsonNode::CJsonNode() = default;

CJsonNode::~CJsonNode() { clear(); }

void CJsonNode::clear() {
  if (children_.empty()) return;
  // Children are detached onto a work list before they are destroyed, so every node dies childless
  // and destruction never recurses, however deep the tree.
  std::vector<std::unique_ptr<CJsonNode>> doomed;
  auto detach_children = [&doomed](CJsonNode& node) {
    for (auto& entry : node.children_) doomed.push_back(std::move(entry.second));
    node.children_.clear();
  };
  detach_children(*this);
  while (!doomed.empty()) {
    std::unique_ptr<CJsonNode> node = std::move(doomed.back());
    doomed.pop_back();
    detach_children(*node);
  }
}

bool CJsonNode::has_member(std::u16string_view name) const { return children_.find(name) != children_.end(); }

CJsonNode& CJsonNode::operator[](std::u16string_view name) {
  auto it = children_.find(name);
  if (it == children_.end()) {
    if (strict_) throw CJsonMissingMember();
    it = children_.emplace(std::u16string(name), std::make_unique<CJsonNode>()).first;
    it->second->name_ = name;
  }
  it->second->strict_ = strict_;
  return *it->second;
}

CJsonNode& CJsonNode::child_under(std::u16string_view key) {
  auto it = children_.find(key);
  if (it == children_.end()) it = children_.emplace(std::u16string(key), std::make_unique<CJsonNode>()).first;
  return *it->second;
}

std::u16string CJsonNode::next_index_key() const { return json_format::index_key(children_.size()); }

CJsonNode& CJsonNode::member_to_set(std::u16string_view name) {
  if (type_ == kArray) return child_under(next_index_key());
  CJsonNode& child = child_under(name);
  child.name_ = name;
  return child;
}

CJsonNode& CJsonNode::element_to_set() {
  type_ = kArray;
  return child_under(next_index_key());
}

CJsonNode& CJsonNode::insert(std::u16string key, std::unique_ptr<CJsonNode> node) {
  if (!node) node = std::make_unique<CJsonNode>();
  CJsonNode& inserted = *node;
  // A child already under the key is replaced and destroyed with its subtree.
  children_.insert_or_assign(std::move(key), std::move(node));
  return inserted;
}

void CJsonNode::set_integer(std::u16string_view name, int value) {
  CJsonNode& child = member_to_set(name);
  child.type_ = kInteger;
  child.number_ = value;
}

void CJsonNode::set_boolean(std::u16string_view name, bool value) {
  CJsonNode& child = member_to_set(name);
  child.type_ = kBoolean;
  child.flag_ = value;
}

void CJsonNode::set_string(std::u16string_view name, std::u16string value) {
  CJsonNode& child = member_to_set(name);
  child.type_ = kString;
  child.text_ = std::move(value);
}

CJsonNode& CJsonNode::add_node(std::u16string_view name, std::unique_ptr<CJsonNode> node) {
  if (type_ == kArray) return insert(next_index_key(), std::move(node));
  CJsonNode& inserted = insert(std::u16string(name), std::move(node));
  inserted.name_ = name;
  return inserted;
}

void CJsonNode::append_integer(int value) {
  CJsonNode& child = element_to_set();
  child.type_ = kInteger;
  child.number_ = value;
}

void CJsonNode::append_boolean(bool value) {
  CJsonNode& child = element_to_set();
  child.type_ = kBoolean;
  child.flag_ = value;
}

void CJsonNode::append_string(std::u16string value) {
  CJsonNode& child = element_to_set();
  child.type_ = kString;
  child.text_ = std::move(value);
}

CJsonNode& CJsonNode::append_node(std::unique_ptr<CJsonNode> node) {
  type_ = kArray;
  return insert(next_index_key(), std::move(node));
}

std::u16string& CJsonNode::as_string() {
  if (type_ == kInteger) {
    text_.clear();
    json_format::append_decimal(text_, number_);
  }
  type_ = kString;
  return text_;
}
