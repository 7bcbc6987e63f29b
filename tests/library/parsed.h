// The library's document of a JSON text that the tests know to be valid; a parse failure fails
// the test with the parser's status text.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "library/json/json_parser.h"
#include "text/utf.h"

namespace VostUsbWardenManager {

inline JsonHolder Parsed(const std::u16string& text) {
  JsonHolder json;
  std::u16string status;
  EXPECT_TRUE(ParseCodeUnits(text, json, status)) << text::to_utf8_display(status);
  return json;
}

}  // namespace VostUsbWardenManager
