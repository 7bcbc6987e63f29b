// A fresh machine for decisions: its own data folder and installation folder (ConfigHost), the
// settings and lists at their start values, the accept folder looked up afresh, short waits, and
// the debugger output captured from the start of the test.
#pragma once

#include <string>
#include <vector>

#include "config/config_host.h"

namespace decision_test {

class DecisionHost : public testing_support::ConfigHost {
 protected:
  DecisionHost() { capture_debug_output(); }
  void SetUp() override;
  void TearDown() override;

  // Native path of a file or folder under the data folder (%ALLUSERSPROFILE%\kavenor).
  std::string data_native(const std::string& sub) const { return native_dir() + "/all users/kavenor/" + sub; }
  // The report files under "logs", as paths relative to "logs" ("20261204/2026...-1403.json").
  std::vector<std::string> report_files() const;
  // The diagnostic lines of this test that contain `fragment`, without their line ends.
  std::vector<std::u16string> lines_with(std::u16string_view fragment) const;
};

// A native file read as UTF-16LE text (no byte-order mark).
std::u16string read_utf16_file(const std::string& path);
// Local time texts in a text replaced by "<time>" ("2026.12.04 09:30:05") and "<stamp>" (14 digits).
std::u16string without_times(std::u16string text);

}  // namespace decision_test
