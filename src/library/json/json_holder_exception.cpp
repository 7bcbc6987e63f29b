#include "library/json/json_holder_exception.h"

#include "library/json/json_holder.h"
#include "library/json/visible_text.h"
#include "text/format.h"

namespace VostUsbWardenManager {

JsonHolderException::JsonHolderException(int kolumna, int linia, const std::u16string& message)
    : message_(VisibleText(text::format(u"Linia=%d Kolumna=%d %c", linia, kolumna, u'\0')) + message) {}

void JsonHolder::ThrowJsonHolderException(const std::u16string& filename, std::uint32_t code,
                                          const std::u16string& msg) {
  throw JsonHolderException(VisibleText(text::format(u"Plik [%s]: %s -> err=0x%08X%c", filename, msg, code, u'\0')),
                            static_cast<std::int32_t>(code));
}

}  // namespace VostUsbWardenManager
