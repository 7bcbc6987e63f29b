// Services as Windows keeps them: one key per service below
// HKLM\SYSTEM\CurrentControlSet\Services, with Type, Start, ErrorControl, ImagePath, DisplayName
// and Group. A service marked for deletion carries DeleteFlag = 1 until its key goes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/os.h"

namespace machined {

inline constexpr const char16_t* kServicesKey = u"SYSTEM\\CurrentControlSet\\Services";

struct ServiceConfig {
  std::u16string name;  // the key's own spelling
  DWORD type = 0;
  DWORD start = SERVICE_DEMAND_START;
  DWORD error_control = SERVICE_ERROR_NORMAL;
  std::u16string image_path;
  std::u16string display_name;
  std::u16string group;
  bool delete_flag = false;
};

// A service's key, found without case; nullopt when there is none or it has no Type.
std::optional<ServiceConfig> read_service(std::u16string_view name);
// Every service, in the registry's order.
std::vector<ServiceConfig> all_services();
// Writes a new service's key and values; the registry's error on failure.
LSTATUS write_service(const ServiceConfig& config);
LSTATUS set_delete_flag(std::u16string_view name);
// Deletes the service's key with everything below it.
LSTATUS remove_service(std::u16string_view name);
// A REG_SZ or REG_EXPAND_SZ value of the service's key, without its terminator; empty when missing
// or of another type.
std::u16string read_text_value(std::u16string_view name, const char16_t* value);

}  // namespace machined
