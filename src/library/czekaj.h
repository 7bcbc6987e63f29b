// The library's one way of waiting: a sleep of the given length, never cut short.
#pragma once

#include <cstdint>

namespace VostUsbWardenManager {

void Czekaj(std::uint32_t milisekundy);

}  // namespace VostUsbWardenManager
