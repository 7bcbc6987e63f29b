// The admittance folder: writing a list into it, merged with the files already there, and
// clearing its admittance files.
#include <cerrno>
#include <vector>

#include "library/admittance.h"
#include "library/status_text.h"
#include "platform/handle.h"
#include "text/chars.h"

namespace VostUsbWardenManager {

namespace {

// The existing file of a device, validated, or a new document for `first` when there is none.
std::uint32_t OpenDocument(const std::u16string& path, const Admittance& first, JsonHolder& doc,
                           std::u16string& status_text) {
  bool exists = false;
  if (const int r = FileExists(path.c_str(), &exists)) {
    status_text = u"Nieudane sprawdzenie obecności pliku " + path;
    return static_cast<std::uint32_t>(r);
  }
  if (!exists) {
    doc = first.ToJsonHolder();
    return 0;
  }
  if (const std::uint32_t r = JsonHolder::LoadFromFile(path, doc, status_text)) return r;
  return Admittance::ValidateAdmittancesJson(doc, status_text);
}

}  // namespace

bool IsAdmittanceFileName(std::u16string_view name) {
  if (name.size() != kAdmittanceFilePattern.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (kAdmittanceFilePattern[i] != u'?' && text::fold_case(kAdmittanceFilePattern[i]) != text::fold_case(name[i])) {
      return false;
    }
  }
  return true;
}

AdmittanceList& AdmittanceList::operator=(const AdmittanceList& other) {
  if (this == &other) return *this;
  list.clear();
  for (const auto& [record, unused] : other.list) list.emplace(record, 0);
  return *this;
}

std::uint32_t AdmittanceList::SaveToDirectory(const char16_t* DirPathName, std::u16string& status_text) const {
  if (list.empty()) return 0;
  std::u16string folder = DirPathName;
  if (folder.empty() || folder.back() != u'\\') folder += u'\\';
  std::u16string current;
  JsonHolder doc;
  for (const auto& [record, unused] : list) {
    const std::u16string name = record.GetCanonName();
    if (name != current) {
      if (!current.empty()) {
        if (const std::uint32_t r = doc.SaveToFile(folder + current, status_text)) return r;
      }
      current = name;
      if (const std::uint32_t r = OpenDocument(folder + name, record, doc, status_text)) return r;
    }
    if (const std::uint32_t r = record.AddToJsonHolder(doc, status_text)) return r;
  }
  return doc.SaveToFile(folder + current, status_text);
}

std::uint32_t AdmittanceList::ClearDirectory(const char16_t* DirPathName, std::u16string& status_text) {
  const std::u16string folder = std::u16string(DirPathName) + u"\\";
  os::WIN32_FIND_DATAW found{};
  os::unique_hfind find(os::FindFirstFileW((folder + std::u16string(kAdmittanceFilePattern)).c_str(), &found));
  if (!find) {
    const DWORD code = os::GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) return 0;
    status_text = ErrText(u"Nie można wylistować plików", code);
    return code;
  }
  std::vector<std::u16string> doomed;
  do {
    const bool kept = (found.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0;
    if (!kept && IsAdmittanceFileName(found.cFileName)) doomed.push_back(folder + found.cFileName);
  } while (os::FindNextFileW(find.get(), &found));
  find.reset();

  for (const std::u16string& path : doomed) {
    if (!os::DeleteFileW(path.c_str())) {
      const DWORD code = os::GetLastError();
      status_text = ErrText(u"Nie można skasować pliku " + path, code);
      return code;
    }
  }
  return 0;
}

int FileExists(const char16_t* path, bool* wynik) {
  if (os::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) {
    *wynik = true;
    return 0;
  }
  // The C run-time's mapping of the system's answer to errno.
  switch (os::GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
      *wynik = false;
      return 0;
    case ERROR_ACCESS_DENIED:
      return EACCES;
    default:
      return EINVAL;
  }
}

}  // namespace VostUsbWardenManager
