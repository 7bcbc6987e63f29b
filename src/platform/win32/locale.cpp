// Languages and code pages.
#include "platform/os.h"
#include "platform/win32/text_cast.h"

namespace os {

LANGID GetUserDefaultUILanguage() { return ::GetUserDefaultUILanguage(); }
LANGID GetSystemDefaultUILanguage() { return ::GetSystemDefaultUILanguage(); }
UINT GetACP() { return ::GetACP(); }

int MultiByteToWideChar(UINT code_page, DWORD flags, const char* text, int size, char16_t* out, int out_size) {
  return ::MultiByteToWideChar(code_page, flags, text, size, win32::wide(out), out_size);
}

}  // namespace os
