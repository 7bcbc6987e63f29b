// Helpers for the JSON value's tests.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "json/json_node.h"

namespace json_test {

// Lines joined by CR LF, without a line end after the last, as the writer lays documents out.
inline std::u16string lines(std::initializer_list<std::u16string_view> parts) {
  std::u16string out;
  bool first = true;
  for (std::u16string_view part : parts) {
    if (!first) out += u"\r\n";
    first = false;
    out += part;
  }
  return out;
}

// The text of `input` read into a fresh document and written back with indent 0.
inline std::u16string reserialised(std::u16string_view input, bool wide_numbers = false) {
  CJsonNode doc;
  doc.set_wide_numbers(wide_numbers);
  doc.parse(input);
  return doc.serialise(0);
}

}  // namespace json_test
