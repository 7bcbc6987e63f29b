// A fresh machine with a suite installed: its own data folder (%ALLUSERSPROFILE% points into the
// scratch folder) and an installation folder recorded in the registry, with helpers to place the
// configuration file and the installation's data files.
#pragma once

#include <string>
#include <vector>

#include "support/sim_root.h"

namespace testing_support {

class ConfigHost : public FreshHost {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Native paths of the configuration file, its folder, and a file of the installation's "bin".
  std::string config_native() const { return native_dir() + "/all users/kavenor/cfg/cfg.json"; }
  std::string config_folder_native() const { return native_dir() + "/all users/kavenor/cfg"; }
  std::string install_native(const std::string& name) const { return native_dir() + "/install/bin/" + name; }

  void write_config(const std::string& bytes) const { write_native_file(config_native(), bytes); }
  void write_install(const std::string& name, const std::string& bytes) const { write_native_file(install_native(name), bytes); }
  // No installation folder in the registry.
  void forget_installation() const;
  // Names of the backups "cfg.json.<stamp>" in the configuration folder.
  std::vector<std::string> backups() const;

 private:
  std::string old_all_users_;
  bool had_all_users_ = false;
};

// UTF-16LE bytes of UTF-8 text, optionally with the byte-order mark.
std::string utf16_bytes(const std::string& utf8, bool with_mark = false);

}  // namespace testing_support
