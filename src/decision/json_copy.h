// Copies of document parts. Documents are never shared between owners: a part that goes into
// another document (a report, a message, an output file) is copied, as the process has always
// copied them, by writing it out and reading it back.
#pragma once

#include "json/json_node.h"

// A copy of an object document.
CJsonNode copy_document(const CJsonNode& document);

// Appends a copy of `element` (any kind: object, array, text, number, flag) to `array`.
void append_copy(CJsonNode& array, CJsonNode& element);
