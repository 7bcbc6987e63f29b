#include "process/diagnostics.h"

#include "platform/os.h"
#include "text/utf.h"

namespace diag {

std::u16string function_name(std::string_view signature) {
  std::u16string name = text::widen_ascii(signature);
  const std::size_t paren = name.find(u'(');
  if (paren != std::u16string::npos && paren > 0) name.resize(paren);
  const std::u16string_view cdecl_word = u"__cdecl";
  const std::size_t cdecl_at = name.find(cdecl_word);
  if (cdecl_at != std::u16string::npos && cdecl_at > 0) name.erase(0, cdecl_at + cdecl_word.size());
  return name;
}

std::u16string line_prefix(std::string_view signature, int line) {
  return text::format(u"[ODS][%.8x] %s:%i -> ", os::GetCurrentThreadId(), function_name(signature), line);
}

void ods_vprintf(const std::u16string& prefix, std::u16string_view format,
                 std::initializer_list<text::FormatArg> args) {
  constexpr std::size_t kMessageLimit = 4096;
  const auto message = text::vformat(format, args, kMessageLimit);
  const std::u16string line = prefix + (message ? *message : std::u16string(u" log buffer too small")) + u"\r\n";
  os::OutputDebugStringW(line.c_str());
}

std::u16string message_filter(std::u16string_view text) {
  constexpr std::size_t kMaxLength = 128;
  std::u16string out(text.substr(0, kMaxLength));
  for (char16_t& c : out) {
    if (c == u'%') c = u'_';
  }
  return out;
}

namespace {

SYSTEMTIME now() {
  SYSTEMTIME t{};
  os::GetLocalTime(&t);
  return t;
}

}  // namespace

std::u16string local_time_text() {
  const SYSTEMTIME t = now();
  return text::format(u"%.4i.%.2i.%.2i %.2i:%.2i:%.2i", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

std::u16string local_time_stamp() {
  const SYSTEMTIME t = now();
  return text::format(u"%.4i%.2i%.2i%.2i%.2i%.2i", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

}  // namespace diag

void _COUT(std::u16string_view message) {
  // The line names _COUT itself, as the signature "void __cdecl _COUT(const wchar_t *)" reads.
  static const std::u16string kName = diag::function_name("void __cdecl _COUT(const wchar_t *)");
  const std::u16string prefix =
      text::format(u"[ODS][%.8x] %s:%i -> ", os::GetCurrentThreadId(), kName, __LINE__);
  diag::ods_printf(prefix, diag::message_filter(message));
}
