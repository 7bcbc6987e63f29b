// Diagnostic lines on the debugger output. Every line is
//   "[ODS][<thread id, %.8x>] <function>:<line> -> <message>\r\n"
// written with one OutputDebugStringW call. There is no log file.
#pragma once

#include <string>
#include <string_view>

#include "text/format.h"

#if defined(_MSC_VER)
#define VOSTUSB_FUNCSIG __FUNCSIG__
#else
#define VOSTUSB_FUNCSIG __PRETTY_FUNCTION__
#endif

namespace diag {

// The function name shown in a line, cut from the compiler's signature text: everything from a "("
// at a position above 0 is dropped, then everything up to and including a "__cdecl" at a position
// above 0 (the blank after it stays).
std::u16string function_name(std::string_view signature);

// "[ODS][%.8x] %s:%i -> " for the calling thread.
std::u16string line_prefix(std::string_view signature, int line);

// Formats the message (at most 4096 characters; a longer one is replaced by " log buffer too
// small") and writes prefix + message + CR LF.
void ods_vprintf(const std::u16string& prefix, std::u16string_view format,
                 std::initializer_list<text::FormatArg> args);

template <class... Args>
void ods_printf(const std::u16string& prefix, std::u16string_view format, const Args&... args) {
  ods_vprintf(prefix, format, {text::FormatArg(args)...});
}

// Outside text made safe for a line: every "%" becomes "_", and the text is cut to 128 characters.
std::u16string message_filter(std::u16string_view text);

// Local time as "%.4i.%.2i.%.2i %.2i:%.2i:%.2i" and as "%.4i%.2i%.2i%.2i%.2i%.2i".
std::u16string local_time_text();
std::u16string local_time_stamp();

}  // namespace diag

// Writes a message through the message filter, as one line whose prefix names _COUT itself.
void _COUT(std::u16string_view message);

// A line with the writing function's own prefix.
#define ODS(...) ::diag::ods_printf(::diag::line_prefix(VOSTUSB_FUNCSIG, __LINE__), __VA_ARGS__)
// Entry and exit markers of functions that trace their run.
#define ODS_ENTER() ODS(u"> Enter")
#define ODS_LEAVE() ODS(u"< Leave")
