// Loading and saving documents: UTF-16LE files without byte-order mark, through the platform layer.
#include <algorithm>
#include <bit>
#include <string_view>

#include "library/json/json_holder.h"
#include "library/json/json_parser.h"
#include "library/json/strumien.h"
#include "platform/handle.h"

namespace VostUsbWardenManager {

namespace {

constexpr std::uint32_t kEndOfMedia = 1100;  // ERROR_END_OF_MEDIA: the write stopped short
// The code units handed to the parser at a time, decoded into a buffer on the stack.
constexpr std::size_t kParseBlockUnits = 4 * 1024;

// The error code of a caught failure: its own, or `fallback` when it carries none.
std::uint32_t CodeOr(const JsonHolderException& e, std::uint32_t fallback) {
  return e.Code() != 0 ? static_cast<std::uint32_t>(e.Code()) : fallback;
}

}  // namespace

// Exactly the file's size in code units is read (an odd last byte is not), whatever the reads
// return on the way: where a read fails or comes short, the parser gets the 0xFFFF of ReadWChar,
// and the next read tries again.
bool JsonHolder::Parse(Strumien& str, JsonHolder& json, std::u16string& status_text) {
  return RunParser(
      [&str](JsonParser& parser) {
        char16_t block[kParseBlockUnits];
        for (std::uint64_t left = str.getSize() / 2; left > 0;) {
          const std::size_t asked = static_cast<std::size_t>(std::min<std::uint64_t>(left, kParseBlockUnits));
          std::size_t got = str.ReadWChars(block, asked);
          if (got < asked) block[got++] = 0xFFFF;
          parser.Feed(std::u16string_view(block, got));
          left -= got;
        }
      },
      json, status_text);
}

std::uint32_t JsonHolder::LoadFromFile(const std::u16string& FilePathName, JsonHolder& jh,
                                       std::u16string& status_text) {
  try {
    Strumien str;
    if (!str.OpenFileToRead(FilePathName)) {
      ThrowJsonHolderException(FilePathName, os::GetLastError(), u"Nie udało się otworzyć pliku");
    }
    const bool parsed = Parse(str, jh, status_text);
    str.Close();
    if (!parsed) {
      status_text += u" plik: " + FilePathName;
      return ERROR_READ_FAULT;
    }
    return 0;
  } catch (const JsonHolderException& e) {
    status_text = e.Message();
    return CodeOr(e, ERROR_READ_FAULT);
  }
}

std::uint32_t JsonHolder::SaveToFile(const std::u16string& FilePathName, std::u16string& status_text) const {
  static_assert(std::endian::native == std::endian::little, "the text is written as it lies in memory (UTF-16LE)");
  os::unique_hfile file;
  try {
    const std::u16string text = ToString();
    constexpr DWORD kAllAccess = 0x1F01FF;
    file.reset(os::CreateFileW(FilePathName.c_str(), kAllAccess, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr));
    if (!file) ThrowJsonHolderException(FilePathName, os::GetLastError(), u"Nie udało się otworzyć pliku");
    const std::uint64_t bytes = static_cast<std::uint64_t>(text.size()) * 2;
    // One write; a text beyond what one call can take is reported as a short write.
    const DWORD asked = static_cast<DWORD>(std::min<std::uint64_t>(bytes, 0xFFFFFFFFu));
    DWORD written = 0;
    if (!os::WriteFile(file.get(), text.data(), asked, &written, nullptr)) {
      ThrowJsonHolderException(FilePathName, os::GetLastError(), u"Nie udało się zapisać zawartości pliku");
    }
    if (written < bytes) ThrowJsonHolderException(FilePathName, kEndOfMedia, u"Nie udało się zapisać całego pliku");
    file.reset();
    return 0;
  } catch (const JsonHolderException& e) {
    file.reset();  // what was written stays
    status_text = e.Message();
    return CodeOr(e, ERROR_WRITE_FAULT);
  }
}

}  // namespace VostUsbWardenManager
