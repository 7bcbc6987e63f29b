// The status texts of the service control wrapper: a fixed Polish text per operation and error
// code, and for any other code the operation's general text with the decimal code appended.
#pragma once

#include <cstdint>
#include <string>

namespace VostUsbWardenManager {

enum class ScOperation { OpenManager, CreateSvc, OpenSvc, StartSvc, DeleteSvc, ControlSvc, QueryStatus };

std::u16string ScStatusText(ScOperation operation, std::uint32_t code);

}  // namespace VostUsbWardenManager
