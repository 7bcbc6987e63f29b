// A stand-in for one of the suite's programs (kavenormon.exe, kavenormenu.exe), running in the
// background for the length of a test and ended with it.
#pragma once

#include <string>

#include "support/background_program.h"

namespace decision_test {

class StandIn {
 public:
  // Starts `program` (a path in the product's form) with `parameters` and waits up to 60 s until it
  // serves `channel` (it takes the question `probe`).
  StandIn(const std::u16string& program, const std::u16string& parameters, const std::u16string& channel,
          const std::u16string& probe);
  StandIn(const StandIn&) = delete;
  StandIn& operator=(const StandIn&) = delete;

  bool serving() const { return serving_; }

 private:
  testing_support::BackgroundProgram program_;
  bool serving_ = false;
};

// Copies the build's stand-in `program` ("kavenormenu.exe", ...) from the installation folder into
// the native `folder`, as a program that only carries the suite program's name; returns the copy's
// native path.
std::string copy_stand_in(const std::string& program, const std::string& folder);

}  // namespace decision_test
