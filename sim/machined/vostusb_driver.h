// The VostUsb filter driver as the simulated machine's kernel runs it: the state behind the
// control codes of its device, and the queue of devices that wait for the user test's answer.
// Every member is called with the machine's lock held; `admit` waits on it.
//
// What the emulation keeps:
// - the user test (on or off), the handle that turned it on, its notification event, the answer
//   time-out (none when it is zero) and the default verdict. A device offered while the test is on
//   waits until the guard answers, the time-out passes (the default applies), or the test ends (the
//   test turned off, its handle closed, the driver stopped: the default applies). A device offered
//   while the test is off is admitted: nobody guards it. Several devices may wait at once; the
//   guard sees the oldest first, and is signalled again after each answer while more wait. A request
//   found void by the guard's fetch (a fixture can ask for that) gets the default at once.
// - hubs accepted without asking (off after loading), the files-and-cache mode (0-3, 0 after
//   loading), and two accepted lists: the device texts the guard accepted, and the kinds admitted
//   without asking ("hub"). Both clear with their control codes.
// - the "ConfigFilePath" and "AdmittancesFolderPath" values of its service key as they were when it
//   started, and what it read from them then (driver_settings.h): the configuration's initial
//   hubs setting, mode and filter switch, and the admittances. A device is let in without asking
//   when the filter is off or an admittance lists it; only then does the user test see it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "driver_settings.h"
#include "platform/os.h"

namespace machined {

// A device that the USB plugging hands to the driver.
struct DeviceOffer {
  std::u16string text;  // the device document handed to the test callback
  bool is_hub = false;
  std::string port;     // where it is plugged ("1-2.4"), when it came from the machine's hardware
  // What a device fixture may change in its request, for tests of bad input: the size the
  // request's header gives (the fetched bytes are cut to it), the text's terminating NUL left out,
  // or the request void when it is fetched.
  std::optional<std::uint32_t> request_size;
  bool request_nul = true;
  bool request_void = false;
};

enum class Verdict { Accepted, Refused };

// The verdict on a device and where it came from: "answer", "time-out default", "test ended"
// (the user test went off, its handle closed or the driver stopped while the device waited),
// "void request" (the default at once), "unplugged" (withdrawn), "hub" (hubs accepted), "filter off", "admittance",
// "user test off", "no driver".
struct Admission {
  Verdict verdict = Verdict::Accepted;
  std::string by;
};

class VostUsbDriver {
 public:
  using Lock = std::unique_lock<std::mutex>;
  explicit VostUsbDriver(std::condition_variable& changed) : changed_(changed) {}

  void load(const std::u16string& service, const std::u16string& config_path, const std::u16string& admittances_path);
  void unload();
  bool loaded() const { return loaded_; }
  const std::u16string& service() const { return service_; }

  // Device handles: a token per open handle, its signal channel, and its clean-up.
  std::uint64_t open_handle();
  void close_handle(std::uint64_t token);
  bool has_handle(std::uint64_t token) const { return handles_.count(token) != 0; }
  std::size_t open_handles() const { return handles_.size(); }
  void attach_signals(std::uint64_t token, int fd);

  // One control request of a handle: the Win32 result, and the output bytes on success.
  DWORD control(std::uint64_t token, DWORD code, const std::string& in, DWORD out_size, std::string& out);

  // The seam for the USB plugging: the verdict on a newly connected device, waiting while the user
  // test decides. `queued` is called (with the lock held) once the device waits for the guard.
  Admission admit(const DeviceOffer& offer, Lock& lock, const std::function<void()>& queued = {});

  // The device at `port`, or behind it, was unplugged: its waiting requests are withdrawn (the
  // default verdict, "unplugged"; the guard's fetch then finds them void, its answer is ignored).
  // Returns how many were waiting.
  std::size_t withdraw(const std::string& port);

  // The state as lines for the sim CLI.
  std::vector<std::string> describe() const;

 private:
  struct Request {
    std::uint64_t id = 0;
    DeviceOffer offer;
    std::optional<Verdict> verdict;
    std::string by;
    std::uint32_t size() const;       // what the header gives
    std::string bytes() const;        // the fetched bytes after the prefix, before the cut to size()
  };

  void end_test();
  void signal_waiting();
  Verdict default_verdict() const { return default_accepted_ ? Verdict::Accepted : Verdict::Refused; }
  std::shared_ptr<Request> find_pending(std::uint64_t id) const;
  void settle(const std::shared_ptr<Request>& request, Verdict verdict, const char* by);

  std::condition_variable& changed_;
  bool loaded_ = false;
  std::u16string service_;
  std::u16string config_path_;
  std::u16string admittances_path_;
  ConfigSettings config_;
  AdmittanceSettings admittances_;
  std::size_t admitted_without_asking_ = 0;

  std::map<std::uint64_t, int> handles_;  // token -> signal channel (-1 until attached)
  std::uint64_t next_token_ = 1;

  bool test_on_ = false;
  std::uint64_t test_owner_ = 0;
  std::uint64_t event_ = 0;
  std::int64_t answer_timeout_ = 0;  // 100 ns units; 0: no time-out
  bool default_accepted_ = false;
  std::deque<std::shared_ptr<Request>> pending_;
  std::uint64_t next_request_ = 1;

  bool hubs_accepted_ = false;
  DWORD files_and_cache_mode_ = 0;
  std::vector<std::string> accepted_names_;
  std::vector<std::string> accepted_types_;
};

}  // namespace machined
