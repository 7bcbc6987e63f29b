// The loader of the product configuration file (%ALLUSERSPROFILE%\kavenor\cfg\cfg.json, with the
// installation's bin\cfg.json as fallback). Other programs of the suite rewrite the file while they
// hold the loading mutex, so the loader waits for it, and it retries a file that does not hold a
// configuration: seven tries, and before the last one the broken file is backed up and replaced by
// the installation copy.
#pragma once

#include <functional>
#include <string>

#include "json/json_node.h"
#include "platform/os.h"

inline constexpr char16_t kLoadingMutex[] = u"Global\\VOSTREL_LOADING_CONFIG_INP";

class CConfigFile {
 public:
  // How long the loader waits for the loading mutex, in polls of 100 ms, over all tries of one
  // load together. A writer holds it for milliseconds; one that never lets go must not hold up
  // read_config, and with it every device decision and the command listener, for ever.
  static constexpr int kLoadingMutexPolls = 100;

  // Loads `name` from `folder` (the default folder when empty), else from the installation copy.
  // Returns 1 when a non-empty document was read, else 0 (document() then holds whatever was read).
  int load(const std::u16string& name, const std::u16string& folder);

  CJsonNode& document() { return doc; }
  // The first place tried: the folder joined with the name.
  const std::u16string& file_path() const { return path; }

  // Every pause of the loader (mutex polls, pauses between tries) goes through this; tests record
  // the pauses instead of waiting them out.
  std::function<void(DWORD)> pause = os::Sleep;

 private:
  enum class Outcome { loaded, no_data, not_a_configuration };
  // One try: wait for the loading mutex, read the file (or the installation copy), parse it.
  Outcome try_load(const std::u16string& folder);
  void wait_for_loading_mutex();

  std::u16string path;
  std::u16string name;
  CJsonNode doc;
  int mutex_polls_left = kLoadingMutexPolls;
};

// The default configuration folder, %ALLUSERSPROFILE%\kavenor\cfg.
std::u16string default_config_folder();
