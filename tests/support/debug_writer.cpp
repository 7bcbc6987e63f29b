// debug-writer COUNT PREFIX: writes COUNT diagnostic lines "PREFIX 1\r\n", "PREFIX 2\r\n", ...,
// each with one OutputDebugStringW call, as the service writes its lines. For tests of the
// debugger output.
#include "platform/os.h"
#include "text/format.h"
#include "text/number.h"
#include "text/utf.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const int count = text::wtoi(text::widen_ascii(argv[1]));
  const std::u16string prefix = text::from_utf8(argv[2]);
  for (int i = 1; i <= count; ++i) os::OutputDebugStringW(text::format(u"%s %i\r\n", prefix, i).c_str());
  return 0;
}
