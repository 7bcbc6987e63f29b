#include "platform/os.h"

namespace os {

// Linux streams never translate line ends: every stream is binary already.
int _setmode(int, int) { return _O_BINARY; }

}  // namespace os
