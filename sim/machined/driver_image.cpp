#include "driver_image.h"

#include <filesystem>
#include <fstream>

#include "platform/sim/host.h"
#include "text/chars.h"

namespace machined {

namespace {

bool starts_nocase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && text::equals_nocase_az(text.substr(0, prefix.size()), prefix);
}

bool has_drive(std::u16string_view path) { return path.size() >= 2 && path[1] == u':'; }

}  // namespace

std::string driver_image_file(std::u16string_view image_path) {
  std::u16string path(image_path);
  if (starts_nocase(path, u"\\??\\")) path.erase(0, 4);
  if (starts_nocase(path, u"\\SystemRoot\\")) {
    path = u"C:\\Windows\\" + path.substr(12);
  } else if (!has_drive(path) && !path.empty() && path[0] != u'\\' && path[0] != u'/') {
    path = u"C:\\Windows\\" + path;
  }
  return os::sim::to_linux_path(path);
}

DWORD identify_driver_image(const std::string& file, std::string& driver) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) {
    return std::filesystem::is_directory(std::filesystem::path(file).parent_path(), error) ? ERROR_FILE_NOT_FOUND
                                                                                             : ERROR_PATH_NOT_FOUND;
  }
  std::ifstream in(file, std::ios::binary);
  std::string first, second;
  std::getline(in, first);
  std::getline(in, second);
  for (std::string* line : {&first, &second}) {
    if (!line->empty() && line->back() == '\r') line->pop_back();
  }
  const std::string prefix = "driver: ";
  if (first != kImageFirstLine || second.rfind(prefix, 0) != 0 || second.substr(prefix.size()) != kVostUsbDriver) {
    return ERROR_BAD_EXE_FORMAT;
  }
  driver = second.substr(prefix.size());
  return ERROR_SUCCESS;
}

}  // namespace machined
