#include "library/json/json_holder_exception.h"

#include "library/json/visible_text.h"
#include "text/format.h"

namespace VostUsbWardenManager {

JsonHolderException::JsonHolderException(int kolumna, int linia, const std::u16string& message)
    : message_(VisibleText(text::format(u"Linia=%d Kolumna=%d %c", linia, kolumna, u'\0')) + message) {}

}  // namespace VostUsbWardenManager
