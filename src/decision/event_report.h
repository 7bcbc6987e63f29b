// One report of the guard, written as one file under the data folder's "logs", in the folder of
// its date. Reports are numbered by a counter in the registry that every report advances.
#pragma once

#include <string>
#include <string_view>

#include "json/json_node.h"

class CEventReport {
 public:
  // Reports about devices.
  static constexpr int kDeviceCategory = 14;
  static constexpr int kAllowed = 1;
  static constexpr int kBlocked = 3;

  // Starts the report: "params" -> "date" is `date`, or the local time when it is empty; the stamp
  // is the local time as 14 digits; kind 0. The caller sets the category.
  void init(std::u16string date);
  // "params" -> "title".
  void set_title(const std::u16string& title);
  // Appends {"event", "value"} (with "id" when it is not empty) to the array "report".
  void add_event(const std::u16string& event, const std::u16string& value, const std::u16string& id = u"");
  // Appends a copy of `node` to the array under `name`.
  void add_node(std::u16string_view name, const CJsonNode& node);
  // Writes the document (UTF-16LE) to the report's file; the counter advances. 1 when written.
  int save();

  // <data folder>\logs\<yyyymmdd>\<stamp>-<counter %.8i>-<ticks %.8x>-<category %.2i><kind %.2i>.json.
  // Reads the counter ("ln" of HKLM\Software\kavenor, 1 when missing or not a DWORD) and stores
  // it advanced by one.
  std::u16string file_path();

  CJsonNode document;
  std::u16string stamp;
  int kind = 0;
  int category = 0;
};
