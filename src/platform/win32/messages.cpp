// The thread's message queue.
#include "platform/os.h"

namespace os {

BOOL PeekMessageW(MSG* msg, HWND window, UINT first, UINT last, UINT remove) {
  return ::PeekMessageW(msg, window, first, last, remove);
}

BOOL TranslateMessage(const MSG* msg) { return ::TranslateMessage(msg); }
LRESULT DispatchMessageW(const MSG* msg) { return ::DispatchMessageW(msg); }

}  // namespace os
