// The driver's configuration as the library keeps it: four switches and the files-and-cache mode,
// written to the configuration file, and the admittances, written as files of the admittance
// folder.
#pragma once

#include <cstdint>

#include "library/admittance.h"

namespace VostUsbWardenManager {

// Where an option change goes.
enum ConfigTypes { ConfigDriverOnly = 0, ConfigFileOnly = 1, ConfigDriverAndFile = 2 };

// Which option; the names are the configuration file's members.
enum OptionID {
  Option_capture = 1,
  Option_filter = 2,
  Option_notify_handle = 3,
  Option_filesAndCacheMode = 4,
  Option_hubs_always_accepted = 5,
};

// 0 to 3; the library only validates, stores and forwards it to the driver.
enum FilesAndCacheMode : std::uint16_t { FilesAndCacheMode_Default = 1, FilesAndCacheMode_Max = 3 };

class WardenConfig {
 public:
  WardenConfig() = default;
  WardenConfig(const WardenConfig&) = default;
  // Copies the five options and replaces the admittances by a copy of the source's.
  WardenConfig& operator=(const WardenConfig&) = default;
  virtual ~WardenConfig() = default;

  bool capture = true;
  bool filter = true;
  bool notify_handle = true;
  bool hubs_always_accepted = false;
  FilesAndCacheMode filesAndCacheMode = FilesAndCacheMode_Default;
  AdmittanceList admittances;
};

}  // namespace VostUsbWardenManager
