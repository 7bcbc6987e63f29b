// Checks and edits of members that the configuration document and the admittance files share.
#pragma once

#include <cmath>

#include "library/json/json_holder.h"

namespace VostUsbWardenManager {

// A whole number from 0 to `max`: what survives a cut to an unsigned field of that width and back.
inline bool IsWholeNumberUpTo(double value, double max) {
  return value >= 0 && value <= max && std::floor(value) == value;
}

// A boolean, or a number equal to 0 or 1.
inline bool IsBoolLike(const JsonHolder& value) {
  if (value.GetTyp() == JsonHolderType::Boolean) return true;
  if (value.GetTyp() != JsonHolderType::Number) return false;
  const double number = value.Value().number;
  return number == 0 || number == 1;
}

// Sets member `name` of object `object` to `value`: a present member has its value replaced, an
// absent one is added. Throws JsonHolderException when `object` is not an object.
void SetMember(JsonHolder& object, const std::u16string& name, JsonHolder value);
// Appends `value` to array `array`. Throws JsonHolderException when `array` is not an array.
void AppendElement(JsonHolder& array, JsonHolder value);

}  // namespace VostUsbWardenManager
