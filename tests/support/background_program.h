// A program started through the shell for the length of a test, ended (terminated and waited for)
// when the object goes.
#pragma once

#include <string>

#include "platform/handle.h"
#include "platform/os.h"

namespace testing_support {

class BackgroundProgram {
 public:
  // Starts `program` (a path in the product's form) with `parameters`; started() says whether it ran.
  BackgroundProgram(const std::u16string& program, const std::u16string& parameters);
  ~BackgroundProgram();
  BackgroundProgram(const BackgroundProgram&) = delete;
  BackgroundProgram& operator=(const BackgroundProgram&) = delete;

  bool started() const { return static_cast<bool>(process_); }
  HANDLE handle() const { return process_.get(); }

 private:
  os::unique_handle process_;
};

}  // namespace testing_support
