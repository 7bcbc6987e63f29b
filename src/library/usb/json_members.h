// Small helpers for building the library's documents member by member: the object takes
// ownership of each new value, and a value that cannot be added is freed, not leaked.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "library/json/json_holder.h"

namespace VostUsbWardenManager {

inline JsonHolder* add_member(JsonHolder& object, const std::u16string& name, JsonHolder value) {
  auto child = std::make_unique<JsonHolder>(std::move(value));
  JsonHolder* added = object.Add(name, child.get());
  child.release();
  return added;
}

inline JsonHolder* add_element(JsonHolder& array, JsonHolder value) {
  auto child = std::make_unique<JsonHolder>(std::move(value));
  JsonHolder* added = array.Add(child.get());
  child.release();
  return added;
}

// Every number of the documents is a field's unsigned value held as a double.
inline JsonHolder* add_number(JsonHolder& object, const std::u16string& name, unsigned long value) {
  return add_member(object, name, JsonHolder(static_cast<double>(value)));
}

}  // namespace VostUsbWardenManager
