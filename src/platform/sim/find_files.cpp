// File search: FindFirstFileW, FindNextFileW, FindClose. The folder is read once, when the search
// starts; entries come sorted without case, as NTFS gives them.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/os.h"
#include "platform/sim/errors.h"
#include "platform/sim/file_info.h"
#include "platform/sim/handles.h"
#include "platform/sim/host.h"
#include "platform/sim/paths.h"
#include "text/chars.h"
#include "text/utf.h"

namespace os {

namespace {

class FindObject final : public sim::KernelObject {
 public:
  explicit FindObject(std::vector<WIN32_FIND_DATAW> entries) : entries_(std::move(entries)) {}
  // The next entry, or null at the end.
  const WIN32_FIND_DATAW* next() { return position_ < entries_.size() ? &entries_[position_++] : nullptr; }

 private:
  std::vector<WIN32_FIND_DATAW> entries_;
  std::size_t position_ = 0;
};

bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }

// "*" any run of characters, "?" any one character, the rest compared without case.
bool matches(std::u16string_view pattern, std::u16string_view name) {
  std::size_t p = 0, n = 0, star = std::u16string_view::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      star_n = n;
    } else if (p < pattern.size() && (pattern[p] == u'?' || text::fold_case(pattern[p]) == text::fold_case(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::u16string_view::npos) {
      p = star + 1;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

// A drive's root lists no "." and ".." entries; every other folder does.
bool is_drive_root(std::u16string_view folder) {
  while (!folder.empty() && is_separator(folder.back())) folder.remove_suffix(1);
  return folder.empty() || (folder.size() == 2 && folder[1] == u':');
}

WIN32_FIND_DATAW describe(const std::u16string& name, const std::string& linux_path) {
  WIN32_FIND_DATAW data{};
  struct stat st {};
  if (::stat(linux_path.c_str(), &st) != 0 && ::lstat(linux_path.c_str(), &st) != 0) st = {};
  data.dwFileAttributes = sim::file_attributes(st);
  data.ftCreationTime = sim::to_filetime(st.st_ctim);
  data.ftLastAccessTime = sim::to_filetime(st.st_atim);
  data.ftLastWriteTime = sim::to_filetime(st.st_mtim);
  const auto size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
  data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data.nFileSizeLow = static_cast<DWORD>(size);
  const std::size_t length = std::min<std::size_t>(name.size(), MAX_PATH - 1);
  name.copy(data.cFileName, length);
  data.cFileName[length] = 0;
  return data;
}

// "." and ".." first, then the names in case-insensitive order.
bool listed_before(const std::u16string& a, const std::u16string& b) {
  const auto rank = [](const std::u16string& s) { return s == u"." ? 0 : s == u".." ? 1 : 2; };
  if (rank(a) != rank(b)) return rank(a) < rank(b);
  return text::fold_case(a) < text::fold_case(b);
}

}  // namespace

HANDLE FindFirstFileW(const char16_t* pattern, WIN32_FIND_DATAW* data) {
  const auto fail_handle = [](DWORD error) {
    os::SetLastError(error);
    return INVALID_HANDLE_VALUE;
  };
  if (!pattern || !data) return fail_handle(ERROR_INVALID_PARAMETER);
  const std::u16string_view whole(pattern);
  if (whole.empty() || !sim::fits_path_limit(whole)) return fail_handle(ERROR_PATH_NOT_FOUND);
  std::size_t split = whole.find_last_of(u"\\/");
  if (split == std::u16string_view::npos && whole.size() >= 2 && whole[1] == u':') split = 1;  // "C:*.txt"
  const std::u16string folder(split == std::u16string_view::npos ? u"" : whole.substr(0, split + 1));
  const std::u16string name_pattern(split == std::u16string_view::npos ? whole : whole.substr(split + 1));
  if (folder.find_first_of(u"*?") != std::u16string::npos) return fail_handle(ERROR_INVALID_NAME);
  if (name_pattern.empty()) return fail_handle(ERROR_FILE_NOT_FOUND);
  const std::u16string effective = name_pattern == u"*.*" ? u"*" : name_pattern;  // DOS: "*.*" is everything

  std::string linux_folder = folder.empty() ? std::string(".") : sim::to_linux_path(folder);
  if (linux_folder.empty()) linux_folder = "/";
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(linux_folder.c_str()), ::closedir);
  if (!dir) {
    const DWORD error = sim::win32_error_from_errno(errno);
    return fail_handle(error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error);
  }
  const bool root = !folder.empty() && is_drive_root(folder);
  std::vector<std::u16string> names;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::u16string name = text::from_utf8(entry->d_name);
    if (root && (name == u"." || name == u"..")) continue;
    if (matches(effective, name)) names.push_back(name);
  }
  if (names.empty()) return fail_handle(ERROR_FILE_NOT_FOUND);
  std::sort(names.begin(), names.end(), listed_before);

  std::vector<WIN32_FIND_DATAW> entries;
  entries.reserve(names.size());
  for (const std::u16string& name : names) {
    entries.push_back(describe(name, linux_folder + "/" + text::to_utf8_display(name)));
  }
  auto search = std::make_shared<FindObject>(std::move(entries));
  *data = *search->next();
  HANDLE handle = sim::add_handle(std::move(search));
  os::SetLastError(ERROR_SUCCESS);
  return handle;
}

BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data) {
  auto search = sim::find_handle_as<FindObject>(find);
  if (!search) return FALSE;
  if (!data) return sim::fail(ERROR_INVALID_PARAMETER);
  const WIN32_FIND_DATAW* entry = search->next();
  if (!entry) return sim::fail(ERROR_NO_MORE_FILES);
  *data = *entry;
  return TRUE;
}

BOOL FindClose(HANDLE find) {
  if (!sim::find_handle_as<FindObject>(find)) return FALSE;
  return sim::remove_handle(find) ? TRUE : FALSE;
}

}  // namespace os
