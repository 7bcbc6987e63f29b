#include "support/scratch_folder.h"

#include <filesystem>
#include <random>

namespace testing_support {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder() {
  std::random_device random;
  const fs::path base =
      fs::temp_directory_path() / ("vostusb-test-" + std::to_string(random()) + "-" + std::to_string(random()));
  fs::create_directories(base);
  path_ = base.string();
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

}  // namespace testing_support
