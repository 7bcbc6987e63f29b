// Time: milliseconds since the system started, and the local time.
#include "platform/os.h"

namespace os {

DWORD GetTickCount() { return ::GetTickCount(); }
void GetLocalTime(SYSTEMTIME* time) { ::GetLocalTime(time); }

}  // namespace os
