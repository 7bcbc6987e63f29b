#include "platform/sim/registry_store.h"

#include <optional>

#include "platform/sim/host.h"
#include "platform/sim/state_file.h"

namespace os::sim {

namespace {

std::string registry_folder() { return sim_root() + "/registry"; }
std::string registry_lock_path() { return registry_folder() + "/.lock"; }

LSTATUS store(const RegistryKey& root) {
  return static_cast<LSTATUS>(replace_state_file(registry_file_path(), to_text(root)));
}

std::optional<RegistryKey> load() {
  const std::optional<std::string> bytes = read_state_file(registry_file_path());
  if (!bytes) return std::nullopt;
  return from_text(*bytes);
}

}  // namespace

std::string registry_file_path() { return registry_folder() + "/HKEY_LOCAL_MACHINE.reg"; }

LSTATUS read_registry(const std::function<LSTATUS(const RegistryKey& root)>& body) {
  StateLock lock(registry_lock_path(), false);
  if (!lock.held()) return ERROR_ACCESS_DENIED;
  const std::optional<RegistryKey> root = load();
  if (!root) return ERROR_BADDB;
  return body(*root);
}

LSTATUS change_registry(const std::function<LSTATUS(RegistryKey& root, bool& changed)>& body) {
  StateLock lock(registry_lock_path(), true);
  if (!lock.held()) return ERROR_ACCESS_DENIED;
  std::optional<RegistryKey> root = load();
  if (!root) return ERROR_BADDB;
  bool changed = false;
  const LSTATUS status = body(*root, changed);
  if (status != ERROR_SUCCESS || !changed) return status;
  return store(*root);
}

}  // namespace os::sim
