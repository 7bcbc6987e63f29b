// A folder of its own in the temporary folder, created empty and removed with everything in it
// when the owner goes (also when a test made parts of it unwritable).
#pragma once

#include <string>

namespace testing_support {

class ScratchFolder {
 public:
  ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder();

  // Native path (Linux path, or Windows path under Wine).
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace testing_support
