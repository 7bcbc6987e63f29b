#include "platform/sim/command_line.h"

namespace os::sim {

namespace {

bool is_blank(char16_t c) { return c == u' ' || c == u'\t'; }

}  // namespace

std::vector<std::u16string> split_arguments(std::u16string_view parameters) {
  std::vector<std::u16string> arguments;
  std::size_t i = 0;
  const std::size_t end = parameters.size();
  while (i < end && is_blank(parameters[i])) ++i;
  if (i == end) return arguments;

  std::u16string current;
  int quotes = 0;  // 1 inside a quoted part; counts a run of quotes up to 3
  std::size_t backslashes = 0;
  while (i < end) {
    const char16_t c = parameters[i];
    if (is_blank(c) && quotes == 0) {
      arguments.push_back(std::move(current));
      current.clear();
      backslashes = 0;
      while (i < end && is_blank(parameters[i])) ++i;
      if (i == end) return arguments;  // trailing blanks start no argument
      continue;
    }
    if (c == u'\\') {
      current += c;
      ++backslashes;
      ++i;
      continue;
    }
    if (c == u'"') {
      // The backslashes just copied are halved; an odd one out makes this quote literal.
      current.resize(current.size() - backslashes / 2);
      if (backslashes % 2 == 0) {
        ++quotes;
      } else {
        current.back() = u'"';
      }
      backslashes = 0;
      ++i;
      for (; i < end && parameters[i] == u'"'; ++i) {
        if (++quotes == 3) {
          current += u'"';
          quotes = 0;
        }
      }
      if (quotes == 2) quotes = 0;
      continue;
    }
    current += c;
    backslashes = 0;
    ++i;
  }
  arguments.push_back(std::move(current));
  return arguments;
}

}  // namespace os::sim
