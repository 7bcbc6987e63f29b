// The report on a device that was allowed or blocked: category 14, the device's texts as events,
// the verdict, and the device's document under "info".
#pragma once

#include "json/json_node.h"

// Reports the device of `document` (its members "producent", "produkt", "klasa", "opis", "numer",
// "checksum", "user", and with `with_drives` also "dyski") as allowed or blocked, and sets the
// document's "action" (1 or 0) and "time" (local time) before it is copied into the report.
void report_device(CJsonNode& document, bool allowed, bool with_drives = false);
