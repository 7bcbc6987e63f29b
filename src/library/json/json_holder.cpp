#include "library/json/json_holder.h"

#include <memory>
#include <utility>

namespace VostUsbWardenManager {

namespace {

bool IsContainer(JsonHolderType type) { return type == JsonHolderType::Array || type == JsonHolderType::Object; }

}  // namespace

JsonHolder::JsonHolder() : type_(JsonHolderType::Null) { value_.number = 0.0; }

JsonHolder::JsonHolder(double number) : type_(JsonHolderType::Number) { value_.number = number; }

JsonHolder::JsonHolder(const std::u16string& text) : type_(JsonHolderType::String) {
  value_.text = new std::u16string(text);
}

JsonHolder::JsonHolder(std::u16string&& text) : type_(JsonHolderType::String) {
  value_.text = new std::u16string(std::move(text));
}

JsonHolder::JsonHolder(const char16_t* text) : JsonHolder(std::u16string(text ? text : u"")) {}

JsonHolder::JsonHolder(JsonArray* storage) : type_(JsonHolderType::Array) {
  value_.array = storage ? storage : new JsonArray();
}

JsonHolder::JsonHolder(JsonObject* storage) : type_(JsonHolderType::Object) {
  value_.object = storage ? storage : new JsonObject();
}

// Delegating first makes this a complete object, so a copy that fails half-way is destroyed.
JsonHolder::JsonHolder(const JsonHolder& other) : JsonHolder() { CopyTree(other); }

JsonHolder& JsonHolder::operator=(const JsonHolder& other) {
  if (this != &other) {
    JsonHolder copy(other);
    Swap(copy);
  }
  return *this;
}

JsonHolder::JsonHolder(JsonHolder&& other) noexcept : type_(other.type_), value_(other.value_) {
  other.type_ = JsonHolderType::Null;
  other.value_.number = 0.0;
}

JsonHolder& JsonHolder::operator=(JsonHolder&& other) noexcept {
  if (this != &other) {
    // Taken before the old content goes: `other` may live inside it.
    JsonHolder taken(std::move(other));
    Swap(taken);
  }
  return *this;
}

JsonHolder::~JsonHolder() { ReleaseValue(); }

void JsonHolder::Swap(JsonHolder& other) noexcept {
  std::swap(type_, other.type_);
  std::swap(value_, other.value_);
}

void JsonHolder::DetachChildren(std::vector<JsonHolder*>& out) noexcept {
  switch (type_) {
    case JsonHolderType::String:
      delete value_.text;
      break;
    case JsonHolderType::Array:
      out.insert(out.end(), value_.array->begin(), value_.array->end());
      delete value_.array;
      break;
    case JsonHolderType::Object:
      for (const auto& member : *value_.object) out.push_back(member.second);
      delete value_.object;
      break;
    default:
      break;
  }
  type_ = JsonHolderType::Null;
  value_.number = 0.0;
}

// A deeply nested tree would overflow the call stack if every level destroyed the next one, so the
// nodes below are collected and deleted one by one, each already without children.
void JsonHolder::ReleaseValue() noexcept {
  std::vector<JsonHolder*> pending;  // allocates only when there are children
  DetachChildren(pending);
  while (!pending.empty()) {
    JsonHolder* node = pending.back();
    pending.pop_back();
    node->DetachChildren(pending);
    delete node;
  }
}

void JsonHolder::AssignShallow(const JsonHolder& source) {
  switch (source.type_) {
    case JsonHolderType::Null:
      break;
    case JsonHolderType::Boolean:
      value_.flag = source.value_.flag;
      break;
    case JsonHolderType::Number:
      value_.number = source.value_.number;
      break;
    case JsonHolderType::String:
      value_.text = new std::u16string(*source.value_.text);
      break;
    case JsonHolderType::Array:
      value_.array = new JsonArray();
      value_.array->reserve(source.value_.array->size());
      break;
    case JsonHolderType::Object:
      value_.object = new JsonObject();
      break;
    default:
      throw JsonHolderException(u"Wadliwy argument typu JsonHolder &");
  }
  type_ = source.type_;
}

// Iterative for the same reason as ReleaseValue. Every new node is attached to its parent at once,
// so whatever was copied before a failure belongs to this value and is destroyed with it.
void JsonHolder::CopyTree(const JsonHolder& source) {
  AssignShallow(source);
  std::vector<std::pair<const JsonHolder*, JsonHolder*>> pending;
  if (IsContainer(type_)) pending.emplace_back(&source, this);
  auto copy_child = [&pending](const JsonHolder& from) {
    auto node = std::make_unique<JsonHolder>();
    node->AssignShallow(from);
    if (IsContainer(node->type_)) pending.emplace_back(&from, node.get());
    return node;
  };
  while (!pending.empty()) {
    const auto [from, to] = pending.back();
    pending.pop_back();
    if (from->type_ == JsonHolderType::Array) {
      for (const JsonHolder* child : *from->value_.array) {
        auto node = copy_child(*child);
        to->value_.array->push_back(node.get());
        node.release();
      }
    } else {
      for (const auto& [name, child] : *from->value_.object) {
        auto node = copy_child(*child);
        to->value_.object->emplace_hint(to->value_.object->end(), name, node.get());
        node.release();
      }
    }
  }
}

JsonHolder JsonHolder::CreateObject() { return JsonHolder(new JsonObject()); }

JsonHolder JsonHolder::CreateArray() { return JsonHolder(new JsonArray()); }

JsonHolder& JsonHolder::SetToNull() {
  ReleaseValue();
  return *this;
}

JsonHolder* JsonHolder::Clone() const { return new JsonHolder(*this); }

std::uint64_t JsonHolder::Count() const {
  switch (type_) {
    case JsonHolderType::String: return value_.text->size();
    case JsonHolderType::Array: return value_.array->size();
    case JsonHolderType::Object: return value_.object->size();
    default: throw JsonHolderException(u"Liczebność posiadają tylko napisy, tablice i obiekty");
  }
}

const JsonHolder& JsonHolder::operator[](int inx) const {
  if (type_ != JsonHolderType::Array) throw JsonHolderException(u"Tylko wartość tablicowa może być indeksowana liczbą");
  if (inx < 0) throw JsonHolderException(u"Indeks tablicy nie może być ujemny");
  if (static_cast<std::size_t>(inx) >= value_.array->size()) {
    throw JsonHolderException(u"Indeks tablicy wykracza po za jej rozmiar");
  }
  return *(*value_.array)[static_cast<std::size_t>(inx)];
}

JsonHolder& JsonHolder::operator[](int inx) {
  return const_cast<JsonHolder&>(std::as_const(*this)[inx]);
}

bool JsonHolder::HasField(const std::u16string& inx) const {
  if (type_ != JsonHolderType::Object) throw JsonHolderException(u"Tylko wartość obiektowa może być indeksowana nazwą");
  return value_.object->find(inx) != value_.object->end();
}

const JsonHolder& JsonHolder::operator[](const std::u16string& inx) const {
  if (type_ != JsonHolderType::Object) throw JsonHolderException(u"Tylko wartość obiektowa może być indeksowana nazwą");
  const auto found = value_.object->find(inx);
  if (found == value_.object->end()) throw JsonHolderException(u"Obiekt nie posiada pola o takiej nazwie");
  return *found->second;
}

JsonHolder& JsonHolder::operator[](const std::u16string& inx) {
  return const_cast<JsonHolder&>(std::as_const(*this)[inx]);
}

std::u16string JsonHolder::StringVal() const {
  if (type_ != JsonHolderType::String) throw JsonHolderException(u"Wartość nie jest typu String");
  return *value_.text;
}

double JsonHolder::NumberVal() const {
  if (type_ != JsonHolderType::Number) throw JsonHolderException(u"Wartość nie jest typu liczby");
  return value_.number;
}

JsonHolder* JsonHolder::Add(JsonHolder* child) {
  if (type_ != JsonHolderType::Array) throw JsonHolderException(u"Tylko do wartości tablicowej można dopisywać elementy");
  if (child == nullptr) throw JsonHolderException(u"Wadliwy argument typu JsonHolder &");
  value_.array->push_back(child);
  return child;
}

JsonHolder* JsonHolder::Add(const std::u16string& fieldName, JsonHolder* child) {
  if (type_ != JsonHolderType::Object) throw JsonHolderException(u"Tylko do wartości obiektowej można dopisywać pola");
  JsonObject& members = *value_.object;
  const auto taken = [&] { throw JsonHolderException(u"Pole obiektu o wskazanej nazwie już istnieje"); };
  if (child == nullptr) {
    if (members.find(fieldName) != members.end()) taken();
    throw JsonHolderException(u"Wadliwy argument typu JsonHolder &");
  }
  // Inserting at the end costs one comparison for a name beyond the last one (members read from a
  // written document come in order) and one search otherwise; a name already there inserts nothing.
  const std::size_t before = members.size();
  members.emplace_hint(members.end(), fieldName, child);
  if (members.size() == before) taken();
  return child;
}

}  // namespace VostUsbWardenManager
