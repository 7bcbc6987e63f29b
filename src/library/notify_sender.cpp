#include "library/notify_sender.h"

#include "library/driver_interface.h"

namespace VostUsbWardenManager {

std::uint32_t NotifySender::Stop() { return worker.Stop(driver::kStopNotifying); }

}  // namespace VostUsbWardenManager
