// The library's JSON reader on any file content: the bytes are taken as a UTF-16LE file is read
// (size / 2 code units, little-endian; an odd last byte is not read) and go through the same state
// machine that LoadFromFile drives, which adds only opening the file and fetching its blocks (the
// reader of blocks has its own tests). Nothing may crash, leak or misbehave, and:
// - a failure leaves the target as it was and says why;
// - a document read back from its own compact text is written the same way again;
// - copies and clones are written like the original;
// - the text fed to the parser in pieces (of a size taken from the input's length) reads as the
//   whole text does: the same document or the same message.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "library/json/json_parser.h"
#include "text/utf.h"

using VostUsbWardenManager::JsonHolder;
using VostUsbWardenManager::JsonHolderType;
using VostUsbWardenManager::JsonParser;
using VostUsbWardenManager::ParseCodeUnits;
using VostUsbWardenManager::RunParser;

namespace {

// What the parser makes of `units` given in pieces of `piece` code units: the document written
// back, or the failure message.
std::u16string ReadInPieces(std::u16string_view units, std::size_t piece) {
  JsonHolder doc;
  std::u16string status;
  const bool ok = RunParser(
      [&](JsonParser& parser) {
        for (std::size_t at = 0; at < units.size(); at += piece) parser.Feed(units.substr(at, piece));
      },
      doc, status);
  return ok ? u"read " + doc.ToString() : u"failed " + status;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string units = text::from_utf16le(std::string_view(reinterpret_cast<const char*>(data), size));

  JsonHolder doc;
  std::u16string status;
  const bool ok = ParseCodeUnits(units, doc, status);
  if (ReadInPieces(units, 1 + size % 13) != (ok ? u"read " + doc.ToString() : u"failed " + status)) {
    __builtin_trap();
  }
  if (!ok) {
    if (status.empty() || doc.GetTyp() != JsonHolderType::Null) __builtin_trap();
    return 0;
  }
  if (doc.GetTyp() != JsonHolderType::Array && doc.GetTyp() != JsonHolderType::Object) __builtin_trap();
  const std::u16string written = doc.ToString();

  JsonHolder again;
  if (!ParseCodeUnits(written, again, status)) __builtin_trap();
  const std::u16string rewritten = again.ToString();
  // Numbers keep six digits after the first writing, so from then on the text is stable.
  if (ParseCodeUnits(rewritten, again, status), again.ToString() != rewritten) __builtin_trap();

  const JsonHolder copy(doc);
  const std::unique_ptr<JsonHolder> clone(doc.Clone());
  if (copy.ToString() != written || clone->ToString() != written) __builtin_trap();
  return 0;
}
