// A fresh machine per test: a temporary folder that serves as the sim root (Linux build) and as a
// scratch folder (both builds). Removed, with everything in it, when the test ends. Under Wine all
// tests share one machine; there the suite's own state (its registry key and data folder) is
// removed before and after each test instead.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/debug_output.h"
#include "support/scratch_folder.h"

namespace testing_support {

class FreshHost : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The scratch folder as a native path (Linux path, or Windows path under Wine).
  const std::string& native_dir() const { return dir_; }
  // A path inside the scratch folder in the form the product takes (Z:\... on the simulated host).
  std::u16string win_path(const std::string& name) const;
  // The folder of the built executables in the product's path form.
  static std::u16string bin_path(const std::string& name);
  // The installation folder that the build laid out (its "bin" holds the data files and the
  // suite's stand-in programs), and a file of its "bin", in the product's path form.
  static std::u16string installation_folder();
  static std::u16string installed_program(const std::string& name) {
    return installation_folder() + u"\\bin\\" + std::u16string(name.begin(), name.end());
  }
  // The diagnostic lines written on this machine so far, each with its CR LF. Under Windows they
  // are captured only for a fixture that calls capture_debug_output() in its constructor.
  std::vector<std::string> debug_lines() const;
  void capture_debug_output() { capture_debug_output_ = true; }

 private:
  std::unique_ptr<ScratchFolder> scratch_;
  std::string dir_;
  bool capture_debug_output_ = false;
  std::unique_ptr<DebugOutput> debug_output_;
  std::string old_root_;
  bool had_old_root_ = false;
};

// The native path of a path in the product's form: the simulated host's Linux path, or the
// Windows path itself.
std::string native_path(std::u16string_view product_path);

// Reads a file whole (native path); empty when missing.
std::string read_native_file(const std::string& path);
void write_native_file(const std::string& path, const std::string& bytes);

// Sets or (with nullptr) removes an environment variable of this process.
void set_env(const char* name, const char* value);

}  // namespace testing_support
