#include "json/json_node.h"

#include <utility>
#include <vector>

#include "json/json_format.h"

CJsonNode::CJsonNode() = default;

CJsonNode::~CJsonNode() { clear(); }

CJsonNode& CJsonNode::operator=(CJsonNode&& other) noexcept {
  if (this == &other) return *this;
  clear();
  children_ = std::move(other.children_);
  type_ = other.type_;
  name_ = std::move(other.name_);
  text_ = std::move(other.text_);
  number_ = other.number_;
  flag_ = other.flag_;
  strict_ = other.strict_;
  wide_numbers_ = other.wide_numbers_;
  return *this;
}

void CJsonNode::clear() {
  if (children_.empty()) return;
  // Children's maps are moved onto a work list before a map is destroyed, so every node dies
  // childless and destruction never recurses, however deep the tree.
  std::vector<Children> doomed;
  doomed.push_back(std::move(children_));
  children_.clear();
  while (!doomed.empty()) {
    Children batch = std::move(doomed.back());
    doomed.pop_back();
    for (auto& entry : batch) {
      if (entry.second.children_.empty()) continue;
      doomed.push_back(std::move(entry.second.children_));
      entry.second.children_.clear();
    }
  }
}

bool CJsonNode::has_member(std::u16string_view name) const { return children_.find(name) != children_.end(); }

CJsonNode& CJsonNode::operator[](std::u16string_view name) {
  auto it = children_.find(name);
  if (it == children_.end()) {
    if (strict_) throw CJsonMissingMember();
    it = children_.emplace(std::u16string(name), CJsonNode()).first;
    it->second.name_ = name;
  }
  it->second.strict_ = strict_;
  return it->second;
}

bool CJsonNode::goes_last(std::u16string_view key) const {
  // Elements arrive in key order, so a new key most often belongs at the end; placing it there
  // directly keeps appending to long arrays cheap.
  return children_.empty() || children_.rbegin()->first < key;
}

CJsonNode& CJsonNode::child_under(std::u16string_view key) {
  if (goes_last(key)) return children_.emplace_hint(children_.end(), std::u16string(key), CJsonNode())->second;
  auto it = children_.find(key);
  if (it == children_.end()) it = children_.emplace(std::u16string(key), CJsonNode()).first;
  return it->second;
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

CJsonNode& CJsonNode::insert(std::u16string key, CJsonNode&& node) {
  if (goes_last(key)) return children_.emplace_hint(children_.end(), std::move(key), std::move(node))->second;
  // A child already under the key is replaced and its subtree destroyed.
  return children_.insert_or_assign(std::move(key), std::move(node)).first->second;
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

CJsonNode& CJsonNode::add_node(std::u16string_view name, CJsonNode node) {
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

CJsonNode& CJsonNode::append_node(CJsonNode node) {
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
