// The text of a data file that may also have been written as UTF-8: the device lists that the
// guard writes for other programs are UTF-8, and an editor saves device texts that way.
#pragma once

#include <string>

// Reads the file with CDataFile (so it may be stored scrambled) and gives its text: UTF-16LE as
// CDataFile decodes it; narrow text that is well-formed UTF-8 (a UTF-8 byte-order mark skipped) as
// UTF-8; other narrow text in the ANSI code page, as CDataFile decodes it. Pure ASCII reads the
// same either way. The text ends at the first NUL. False when the file yields no data.
bool read_data_text(const std::u16string& path, std::u16string& text);
