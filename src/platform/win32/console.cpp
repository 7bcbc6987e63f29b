#include "platform/os.h"

namespace os {

int _setmode(int fd, int mode) { return ::_setmode(fd, mode); }

}  // namespace os
