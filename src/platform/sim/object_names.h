// Where a named kernel object of the simulated machine lives: a lock file under the sim root, one
// folder per namespace ("Global\" names and local names are separate, as on Windows). Object
// names are case-sensitive, as Windows compares them; the namespace prefix is not.
#pragma once

#include <string>
#include <string_view>

#include "platform/os.h"

namespace os::sim {

struct ObjectPath {
  std::string path;             // the lock file; empty on failure
  DWORD error = ERROR_SUCCESS;  // why the name cannot name an object
  bool global = false;          // in the "Global\" namespace, where only the administrator creates
};

// `type` keeps object families apart ("mutex"). Creates the namespace folder when missing.
// Errors: ERROR_FILENAME_EXCED_RANGE (longer than MAX_PATH), ERROR_INVALID_NAME (nothing after the
// prefix), ERROR_PATH_NOT_FOUND (a backslash after the prefix), or the file system's error.
ObjectPath kernel_object_path(std::u16string_view name, std::string_view type);

// The file name that stands for an object name: letters, digits, "-" and "_" as they are, any other
// code unit as "%XXXX"; a long result is shortened and made unique with a SHA-1 of the whole.
std::string object_file_name(std::u16string_view name);

}  // namespace os::sim
