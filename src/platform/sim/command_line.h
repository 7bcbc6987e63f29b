// Windows command-line text and argument vectors.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace os::sim {

// Splits the arguments that follow the program name, as CommandLineToArgvW does: blanks and tabs
// separate arguments outside quotes; a double quote starts or ends a quoted part; 2n backslashes
// before a quote give n backslashes and the quote acts, 2n+1 give n backslashes and a literal
// quote; other backslashes are literal; in a run of quotes every third one is a literal quote
// (so "" inside quotes gives a quote and ends the quoted part); "" alone is an empty argument.
std::vector<std::u16string> split_arguments(std::u16string_view parameters);

}  // namespace os::sim
