// The thread message queue. Processes on this host have no windows and nothing can post to a
// thread (the layer has no call that posts), so the queue is always empty.
#include "platform/os.h"

namespace os {

BOOL PeekMessageW(MSG*, HWND, UINT, UINT, UINT) { return FALSE; }

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageW(const MSG*) { return 0; }

}  // namespace os
