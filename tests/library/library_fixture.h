// Fresh machines for the library's tests: one with the paths of a configuration file and an
// admittance folder, and one that adds a facade on a test service whose registry key exists (as the
// service manager creates it). The key is removed after each test, also under Wine, where the
// machine is shared.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "library/manager.h"
#include "support/sim_root.h"

namespace library_testing {

inline constexpr const char16_t* kTestService = u"VostUsbLibTest";
inline constexpr const char16_t* kTestServiceKey = u"SYSTEM\\CurrentControlSet\\services\\VostUsbLibTest";
// A device that no driver provides.
inline constexpr const char16_t* kNoDevice = u"\\\\.\\VostUsbLibTestNoDevice";

// What the facade's waiting loops called back, in order (the callback's context is the object).
struct Calls {
  std::vector<std::uint32_t> values;
  static void Record(std::uint32_t value, void* context) { static_cast<Calls*>(context)->values.push_back(value); }
};

// A fresh machine with the paths of a configuration file and an admittance folder in its
// scratch folder.
class LibraryHost : public testing_support::FreshHost {
 protected:
  void SetUp() override;

  // The configuration file's text as UTF-8, or "" when missing.
  std::string ConfigText() const;
  // The configuration file's bytes (UTF-16LE of `text`) written directly.
  void WriteConfig(const std::u16string& text) const;

  std::u16string config_path_;      // product path of config.json in the scratch folder
  std::u16string admittances_path_; // product path of the admittance folder (not created)
  std::u16string status_;
};

class ServiceKeyHost : public LibraryHost {
 protected:
  void SetUp() override;
  void TearDown() override;

  void DeleteServiceKey();
  // Stores a value of any type and bytes in the service key.
  void SetRawValue(const char16_t* name, DWORD type, const std::string& bytes);

  VostUsbWardenManager::Manager manager_{kTestService, kTestService, kNoDevice};
};

}  // namespace library_testing
