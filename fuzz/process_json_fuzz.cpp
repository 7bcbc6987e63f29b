// The process's JSON reader on any text: read it, write it, read the written text again, and walk
// the result the way the configuration reader does. Nothing may crash, leak or misbehave.
//
// Input: the first byte's lowest bit sets the wide-numbers flag; the rest is UTF-16LE text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "json/json_node.h"
#include "text/utf.h"

namespace {

// Strict lookups as the configuration reader makes them: missing members throw, and are caught.
void read_like_the_configuration(CJsonNode& doc) {
  doc.set_strict(true);
  try {
    CJsonNode& usb = doc[u"usb"];
    usb[u"active"].as_string();
    for (auto& [key, pair] : usb[u"rules"].children()) {
      if (pair.children().size() == 2) pair.children().begin()->second.as_string();
    }
  } catch (const CJsonMissingMember&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool wide_numbers = (data[0] & 1) != 0;
  const std::u16string text =
      text::from_utf16le(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));

  CJsonNode doc;
  doc.set_wide_numbers(wide_numbers);
  if (doc.parse(text) != 1) __builtin_trap();  // every text is wrapped into an object
  const std::u16string written = doc.serialise();

  CJsonNode again;
  again.set_wide_numbers(wide_numbers);
  if (again.parse(written) != 1) __builtin_trap();
  again.serialise(4);

  read_like_the_configuration(again);
  return 0;
}
