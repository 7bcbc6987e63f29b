#include "config/config_file.h"

#include "config/data_file.h"
#include "process/installation.h"
#include "platform/handle.h"
#include "process/diagnostics.h"
#include "process/paths.h"

namespace {

constexpr int kTries = 7;
constexpr DWORD kPauseBetweenTries = 1000;
constexpr DWORD kMutexPoll = 100;
// An empty object serialises to 4 characters; a document must be longer to count as read.
constexpr std::size_t kShortestConfiguration = 6;

std::u16string installation_copy(std::u16string_view name) { return installation_file(paths::path_join(u"bin", name)); }

// Before the last try: the broken default file is kept under its name, a full stop and a 14-digit
// time stamp, then replaced by the installation copy (or deleted when there is none). Always the
// default file, whatever folder was asked for.
void recover_default_file() {
  const std::u16string file = paths::path_join(default_config_folder(), u"cfg.json");
  CDataFile broken;
  if (broken.read(file)) {
    // Without its backup the file stays as it is: replacing it would lose it.
    if (!paths::write_utf16_file(file + u"." + diag::local_time_stamp(), broken.text())) return;
  }
  CDataFile copy;
  if (copy.read(installation_copy(u"cfg.json"))) {
    paths::write_utf16_file(file, copy.text());
  } else {
    os::DeleteFileW(file.c_str());
  }
}

}  // namespace

std::u16string default_config_folder() { return paths::data_path(u"cfg"); }

int CConfigFile::load(const std::u16string& file_name, const std::u16string& folder) {
  name = file_name;
  mutex_polls_left = kLoadingMutexPolls;
  for (int attempt = 0; attempt < kTries; ++attempt) {
    if (attempt > 0) {
      if (attempt == kTries - 1) {
        recover_default_file();
      } else {
        pause(kPauseBetweenTries);
      }
    }
    switch (try_load(folder)) {
      case Outcome::loaded:
        return 1;
      case Outcome::no_data:
        return 0;
      case Outcome::not_a_configuration:
        break;
    }
  }
  return 0;
}

CConfigFile::Outcome CConfigFile::try_load(const std::u16string& folder) {
  wait_for_loading_mutex();
  path = paths::path_join(folder.empty() ? default_config_folder() : folder, name);
  CDataFile file;
  if (!file.read(path) && !file.read(installation_copy(name))) return Outcome::no_data;
  if (file.size() < 4) return Outcome::no_data;
  const int parsed = doc.parse(file.text());
  if (parsed == 1 && doc.serialise(0).size() >= kShortestConfiguration) return Outcome::loaded;
  return Outcome::not_a_configuration;
}

void CConfigFile::wait_for_loading_mutex() {
  while (mutex_polls_left > 0) {
    os::unique_handle mutex(os::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, kLoadingMutex));
    if (!mutex && os::GetLastError() != ERROR_ACCESS_DENIED) return;  // nobody is rewriting the file
    mutex.reset();
    pause(kMutexPoll);
    if (--mutex_polls_left == 0) ODS(u"Loading mutex still held; reading the configuration without waiting.");
  }
}
