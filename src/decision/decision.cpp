#include "decision/decision.h"

#include <atomic>
#include <mutex>
#include <string>

#include "config/settings.h"
#include "decision/add_rule.h"
#include "decision/device_files.h"
#include "decision/device_record.h"
#include "decision/device_report.h"
#include "decision/rule_matching.h"
#include "decision/tray.h"
#include "process/diagnostics.h"
#include "process/named_paths.h"
#include "process/run_state.h"
#include "text/format.h"

DecisionWaits decision_waits;

namespace {

// Filled on first use, then kept for the life of the process; used under config_lock.
std::u16string accept_folder;

void log_outcome(int allow) { _COUT(text::format(u">> New device, allow=%i", allow)); }

}  // namespace

void forget_accept_folder() {
  std::lock_guard<std::recursive_mutex> lock(config_lock);
  accept_folder.clear();
}

int vostusb_decision(const char16_t* device_text) {
  // Read before the lock, as the reload on the listener thread may be writing it meanwhile.
  if (std::atomic_ref<int>(active).load() == 0) return 1;
  std::lock_guard<std::recursive_mutex> lock(config_lock);
  int allow = action != 0 ? 1 : 0;
  if (!device_text) {
    log_outcome(allow);
    return allow;
  }

  DeviceRecord record = build_device_record(device_text);
  if (accept_folder.empty()) accept_folder = get_named_path(u"accept");
  write_accept_files(accept_folder, record.checksum, record.document);
  const std::u16string question = record.document.serialise(0);

  if (global_mutex_exists(kCaptureMutex)) {
    write_capture_file(record.document);
    start_capture_cleanup(decision_waits.capture_cleanup_ms);
    return 1;
  }

  bool user_asked = false;
  const int verdict = evaluate_rules(record.description, false);
  if (verdict == kBlock || verdict == kAllow) {
    allow = verdict;
  } else if (action == 2) {
    ODS(u"USB Ask User.");
    allow = ask_tray_user(question, decision_waits.tray_answer_ms) ? 1 : 0;
    send_add_rule(record.document, allow != 0);
    user_asked = true;
  }

  if (allow == 0 || report_on_allow != 0) {
    report_device(record.document, allow != 0);
    if (allow == 0 && !user_asked) send_blocked_notice(question);
  }
  log_outcome(allow);
  return allow;
}
