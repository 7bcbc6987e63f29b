// A USB device admitted by its identity (vendor, product, revision and optionally one serial
// number), the ordered set of them, and their files: one JSON file per vendor, product and
// revision in the admittance folder, "Vid_%04x_Pid_%04x_Rev_%04x.json", listing the serial numbers
// admitted for that device.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "library/json/json_holder.h"

namespace VostUsbWardenManager {

class Admittance {
 public:
  Admittance() = default;
  Admittance(const Admittance&) = default;
  Admittance& operator=(const Admittance&) = default;
  virtual ~Admittance() = default;

  // -1, 0 or 1: by VendorID, ProductID, RevBCD (unsigned), then a record without a serial before
  // one with it, then the serial texts code unit by code unit as signed 16-bit values (an ended
  // text counts as a 0 unit). CacheUse takes no part.
  int _cmp(const Admittance& a) const;

  // "Vid_1234_Pid_abcd_Rev_0100.json": lower-case hexadecimal digits.
  static std::u16string GetCanonName(std::uint16_t vendor, std::uint16_t product, std::uint16_t rev);
  std::u16string GetCanonName() const { return GetCanonName(VendorID, ProductID, RevBCD); }

  // A new admittance document holding only this record's serial entry.
  JsonHolder ToJsonHolder() const;
  // Merges this record into an admittance document: the matching serial entry gets this CacheUse,
  // or a new entry is appended. 0, or a code with status_text.
  std::uint32_t AddToJsonHolder(JsonHolder& jh, std::u16string& status_text) const;
  // 0 for a valid admittance document, else 592 (or the code of a JSON failure) with status_text.
  static std::uint32_t ValidateAdmittancesJson(JsonHolder& jh, std::u16string& status_text);

  std::uint16_t VendorID = 0;
  std::uint16_t ProductID = 0;
  std::uint16_t RevBCD = 0;
  std::u16string SerialNumber;  // meaningful only when hasSerial
  bool hasSerial = false;
  bool CacheUse = true;  // carried into the file for the driver
};

// The search pattern of the admittance files in their folder, and whether a found name has exactly
// the shape of one (any letter case): Windows' search also gives shorter names and short names.
inline constexpr std::u16string_view kAdmittanceFilePattern = u"Vid_????_Pid_????_Rev_????.json";
bool IsAdmittanceFileName(std::u16string_view name);

struct AdmittanceLess {
  bool operator()(const Admittance& a, const Admittance& b) const { return a._cmp(b) < 0; }
};

// An ordered set of admittances (the mapped value is always 0). Records that compare equal are one
// element: the first inserted stays, with its CacheUse.
class AdmittanceList {
 public:
  AdmittanceList() = default;
  AdmittanceList(const AdmittanceList& other) { *this = other; }
  AdmittanceList& operator=(const AdmittanceList& other);
  virtual ~AdmittanceList() = default;

  // False when an equal record is already in the list (which then stays as it was).
  bool Add(const Admittance& a) { return list.emplace(a, 0).second; }

  // Writes the list into the folder, one file per device, merged into the files already there.
  // An empty list reads and writes nothing. 0, or a code with status_text.
  std::uint32_t SaveToDirectory(const char16_t* DirPathName, std::u16string& status_text) const;
  // Deletes the admittance files of the folder, except read-only ones. 0, or a code with
  // status_text (the files after a failed deletion stay).
  static std::uint32_t ClearDirectory(const char16_t* DirPathName, std::u16string& status_text);

  std::map<Admittance, std::int32_t, AdmittanceLess> list;
};

// The file status query: 0 with *wynik true (exists) or false (missing); any other failure gives
// its errno value and leaves *wynik untouched.
int FileExists(const char16_t* path, bool* wynik);

}  // namespace VostUsbWardenManager
