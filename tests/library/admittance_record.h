// An admittance record in one line, for the tests' tables.
#pragma once

#include "library/admittance.h"

namespace VostUsbWardenManager {

inline Admittance Record(std::uint16_t vid, std::uint16_t pid, std::uint16_t rev, const char16_t* serial = nullptr,
                         bool cache = true) {
  Admittance a;
  a.VendorID = vid;
  a.ProductID = pid;
  a.RevBCD = rev;
  a.hasSerial = serial != nullptr;
  if (serial != nullptr) a.SerialNumber = serial;
  a.CacheUse = cache;
  return a;
}

}  // namespace VostUsbWardenManager
