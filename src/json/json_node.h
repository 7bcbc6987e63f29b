// CJsonNode: the service process's JSON tree. Every document the process handles (configuration,
// rule lists, device records, reports, device lists) is one. It is a lenient reader and a writer with
// one fixed layout, over UTF-16 text.
//
// A node has one type and three value fields (text, number, flag). A setter writes only the type and
// its own value field; the others keep what they held. There is no null (read as the integer 0) and
// no fraction (only the integer part of a number is read).
//
// Children are kept in a map ordered by key, code unit by code unit. In an object the key is the
// member name; in an array it is the index at insertion as eight lower-case hexadecimal digits, so
// the map order of elements is their insertion order. A node owns its children, held by value: a
// node is moved into the tree, never copied.
//
// Nodes carry no lock: the callers serialise access to their documents themselves (the
// configuration lock), and a mutex per node would make the tree a third larger.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <string>
#include <string_view>

// Thrown by a member lookup on a strict node when the member does not exist. Only the configuration
// reader makes documents strict, and it catches this to fall back to its defaults.
class CJsonMissingMember : public std::exception {
 public:
  const char* what() const noexcept override { return "missing member of a strict document"; }
};

class CJsonNode {
 public:
  enum Type : std::uint32_t { kObject = 1, kArray = 2, kInteger = 4, kString = 8, kBoolean = 16 };
  using Children = std::map<std::u16string, CJsonNode, std::less<>>;

  // The reader stops at an opening bracket that would nest deeper than this many containers (the
  // document's own braces count as one), as it stops at any character it cannot use: what was read
  // up to there stays. Real documents are five or six levels deep; the bound keeps crafted texts
  // from exhausting the stack of the thread that reads them.
  static constexpr int kMaxReadDepth = 512;

  // An empty object, not strict, without wide numbers.
  CJsonNode();
  // Destroys the subtree without recursion, so a tree of any depth can be destroyed.
  ~CJsonNode();
  CJsonNode(const CJsonNode&) = delete;
  CJsonNode& operator=(const CJsonNode&) = delete;
  CJsonNode(CJsonNode&& other) noexcept = default;
  // The node's own subtree is destroyed first (without recursion).
  CJsonNode& operator=(CJsonNode&& other) noexcept;

  // Destroys all children; type and value fields stay.
  void clear();

  // Whether a child is stored under `name`; creates nothing and changes no flag.
  bool has_member(std::u16string_view name) const;

  // The child under `name`; it takes this node's strict flag. A missing child is created as an empty
  // object member (so lookups add members that later show up in the output), or, on a strict node,
  // CJsonMissingMember is thrown.
  CJsonNode& operator[](std::u16string_view name);

  // Set a member, creating it if needed and overwriting it in place if it exists: the child's type and
  // its own value field. On an array the name is ignored and the value goes under the next index key.
  void set_integer(std::u16string_view name, int value);
  void set_boolean(std::u16string_view name, bool value);
  void set_string(std::u16string_view name, std::u16string value);
  // Moves `node` under `name`, destroying any child of that name first; on an array it is appended.
  // Returns the node in the tree.
  CJsonNode& add_node(std::u16string_view name, CJsonNode node);

  // Append an element under the next index key; this node becomes an array (even if it was an
  // object with members).
  void append_integer(int value);
  void append_boolean(bool value);
  void append_string(std::u16string value);
  CJsonNode& append_node(CJsonNode node);

  // The node read as text: an integer is formatted "%i" into the text field, and the node becomes a
  // string in every case. Assigning through the reference sets a string value.
  std::u16string& as_string();

  // Reads `text` into this node (cleared first), leniently: reading stops at the first character
  // that cannot begin a token, and what was read stays. The text ends at its first NUL. A text that
  // begins with "*hex*" is hexadecimal, four digits per code unit. A text that does not begin with
  // "{" is read as if wrapped in braces. Returns 1 when the text held an object, else 0.
  int parse(std::u16string_view text);

  // The fixed layout of the process's documents: CR LF line ends, four spaces per level, ", " after
  // every child but the last, no line end after the last bracket.
  std::u16string serialise(std::size_t indent = 0) const;

  Type type() const { return type_; }
  const std::u16string& name() const { return name_; }
  int number() const { return number_; }
  bool flag() const { return flag_; }
  // The children in key order, for walking them (reading a child as text changes it, so walking
  // needs the non-const form); add and remove children only through the members above.
  const Children& children() const { return children_; }
  Children& children() { return children_; }

  bool strict() const { return strict_; }
  void set_strict(bool strict) { strict_ = strict; }
  // Read by the tokenizer while this node's parse runs: numbers also take "+", ".", "E" and "e", so
  // that exponent forms are one token (only their integer part counts).
  bool wide_numbers() const { return wide_numbers_; }
  void set_wide_numbers(bool wide) { wide_numbers_ = wide; }

 private:
  friend class CJsonReader;

  explicit CJsonNode(Type type) : type_(type) {}

  // The child that a setter writes: under `name` in an object (its name set), under the next index
  // key in an array.
  CJsonNode& member_to_set(std::u16string_view name);
  CJsonNode& element_to_set();
  bool goes_last(std::u16string_view key) const;
  CJsonNode& child_under(std::u16string_view key);
  CJsonNode& insert(std::u16string key, CJsonNode&& node);
  std::u16string next_index_key() const;
  // Pad, name and value of a leaf, or pad, name and opening bracket of a container.
  void append_head(std::u16string& out, std::size_t indent) const;

  Children children_;
  Type type_ = kObject;
  std::u16string name_;
  std::u16string text_;
  int number_ = 0;
  bool flag_ = false;
  bool strict_ = false;
  bool wide_numbers_ = false;
};
