// Character classes and case rules of the system's text handling.
#pragma once

#include <string>
#include <string_view>

namespace text {

// iswspace: the white-space characters of Unicode (tab to carriage return, blank, U+0085, U+00A0,
// U+1680, U+2000 to U+200A, U+2028, U+2029, U+202F, U+205F, U+3000). U+FEFF is not among them.
bool is_space(char16_t c);
bool is_digit(char16_t c);
bool is_xdigit(char16_t c);

// Lower-casing as the process does it: A to Z only, every other code unit unchanged.
char16_t lower_az(char16_t c);
std::u16string lower_az(std::u16string_view s);
bool equals_nocase_az(std::u16string_view a, std::u16string_view b);

// Case folding for names that Windows compares without case (registry keys and values, file
// names): Basic Latin, Latin-1 and Latin Extended-A letters, Greek and Cyrillic.
char16_t fold_case(char16_t c);
std::u16string fold_case(std::u16string_view s);
bool equals_nocase(std::u16string_view a, std::u16string_view b);

}  // namespace text
