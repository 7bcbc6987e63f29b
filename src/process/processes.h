// Which processes run on the machine: image paths, names, owners, the logged-on users, another
// instance of this executable; and starting a program with a bounded wait.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/os.h"

// Full path of a process's executable: "System" for 4, "Idle" for 0, "<unknown>" when the process
// opens but no path can be had, the snapshot's file name when it does not open, else "".
std::u16string process_image_path(DWORD pid);
// User name (without domain) that runs the process, or "".
std::u16string process_owner(DWORD pid);
// Whether any process's lower-cased image path contains the lower-cased `name`.
bool is_process_running(std::u16string_view name);
// Id of the first other process running this same executable image, or 0.
DWORD find_other_instance();
// Starts `file` with `parameters` (window shown or hidden) and, when `wait` is set, waits for it
// to end, at most 1800000 ms. Returns ShellExecuteExW's result.
BOOL run_program(std::u16string_view file, std::u16string_view parameters, bool wait, bool show);

class CProcesses {
 public:
  CProcesses() = default;
  CProcesses(const CProcesses&) = delete;
  CProcesses& operator=(const CProcesses&) = delete;
  virtual ~CProcesses() = default;

  // Fills `ids` with the ids of the running processes (0 left out); returns the number the system
  // reported, or 0 on failure.
  int EnumerateProcesses(std::vector<unsigned long>& ids);
  // Executable file name without folder; "<unknown>" when it cannot be read.
  std::u16string base_name(DWORD pid);
  // Id of a running process whose image path contains `name` (without case), or 0.
  DWORD pid_by_name(std::u16string_view name);
  // Pairs (user name, shell process id as "%i") for every "explorer.exe" with a readable owner.
  // Names of processes that are no longer listed leave the name cache.
  int logged_on_users(std::vector<std::u16string>& list);
  // Whether the name cache holds a name for `pid`.
  bool has_cached_name(DWORD pid) const;

 private:
  // A base name and the start time of the process it was read from. Windows gives a freed id to
  // the next process, so a name serves only while the id's process has the same start time.
  struct NamedProcess {
    std::uint64_t started;
    std::u16string name;
  };
  // A process whose name could not be read: its start time, when that first failed (tick count),
  // and whether it failed again a while later, so that it is not tried any more.
  struct Unnamed {
    std::uint64_t started;
    DWORD first_failed;
    bool settled;
  };
  // What the caches say of the process that holds `pid` with start time `started` (0: unknown);
  // drops what they keep of a former holder of the id.
  std::optional<std::u16string> cached_name(DWORD pid, std::uint64_t started);
  void forget_other_than(std::vector<unsigned long> running);

  std::map<std::u16string, DWORD> pid_cache;   // lower-cased name -> last id found; one thread
  std::map<DWORD, NamedProcess> name_cache;    // id -> base name; under `lock`
  std::map<DWORD, Unnamed> unnamed;            // id -> failed name look-up; under `lock`
  mutable std::mutex lock;
};

// logged_on_users through the one CProcesses of this process, whose name cache the device
// decisions share, so that a decision reads only the images of processes that are new since the
// last one. Safe from any thread.
int shared_logged_on_users(std::vector<std::u16string>& list);
