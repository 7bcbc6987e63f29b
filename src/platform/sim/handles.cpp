#include "platform/sim/handles.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace os::sim {

DWORD KernelObject::wait(DWORD) {
  os::SetLastError(ERROR_INVALID_HANDLE);
  return WAIT_FAILED;
}

namespace {

struct Table {
  std::mutex lock;
  std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
  // Handle values grow in steps of 4, as on Windows, and are not reused within a process.
  std::uintptr_t next = 0x100;
};

Table& table() {
  static Table* t = new Table;  // lives until exit; objects may be closed by late destructors
  return *t;
}

}  // namespace

HANDLE add_handle(std::shared_ptr<KernelObject> object) {
  Table& t = table();
  std::lock_guard guard(t.lock);
  const std::uintptr_t value = t.next;
  t.next += 4;
  t.objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> find_handle(HANDLE handle) {
  Table& t = table();
  std::lock_guard guard(t.lock);
  auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == t.objects.end()) {
    os::SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return it->second;
}

bool remove_handle(HANDLE handle) {
  std::shared_ptr<KernelObject> doomed;  // destroyed outside the lock
  Table& t = table();
  std::lock_guard guard(t.lock);
  auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == t.objects.end()) {
    os::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  doomed = std::move(it->second);
  t.objects.erase(it);
  return true;
}

}  // namespace os::sim
