// The registry's file under the sim root, shared by every process of the machine. Each call reads
// the whole file under a lock on <sim root>/registry/.lock (shared for readers, exclusive for
// writers); a change is written to a new file that then replaces the old one, so a process killed
// at any point leaves either the old or the new registry, never a mix.
#pragma once

#include <functional>
#include <string>

#include "platform/sim/registry_tree.h"

namespace os::sim {

// <sim root>/registry/HKEY_LOCAL_MACHINE.reg
std::string registry_file_path();

// Runs `body` on the stored tree. ERROR_BADDB when the file cannot be read as a registry.
LSTATUS read_registry(const std::function<LSTATUS(const RegistryKey& root)>& body);

// Runs `body` on the stored tree under the exclusive lock; when it returns ERROR_SUCCESS and has
// set `changed`, the tree is stored.
LSTATUS change_registry(const std::function<LSTATUS(RegistryKey& root, bool& changed)>& body);

}  // namespace os::sim
