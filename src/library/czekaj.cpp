#include "library/czekaj.h"

#include "platform/os.h"

namespace VostUsbWardenManager {

// os::Sleep already sleeps the whole length whatever interrupts it.
void Czekaj(std::uint32_t milisekundy) { os::Sleep(milisekundy); }

}  // namespace VostUsbWardenManager
