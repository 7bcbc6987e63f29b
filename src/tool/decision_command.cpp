// "checksum" and "decide": how the guard describes a device and which rule decides it, from the
// device text that a driver request carries. Nothing on the machine changes: no accept files, no
// reports, no messages.
#include <mutex>
#include <string>

#include "config/read_config.h"
#include "config/settings.h"
#include "decision/data_text.h"
#include "decision/device_record.h"
#include "decision/rule_matching.h"
#include "text/utf.h"
#include "tool/commands.h"
#include "tool/tool_io.h"

namespace tool {

namespace {

int with_device_text(const Args& args, const char* usage, std::u16string& device_text) {
  if (args.size() != 1) return fail(2, usage);
  if (!read_data_text(product_path(args[0]), device_text)) return fail(2, "no data in " + args[0] + " (missing, unreadable or empty)");
  return 0;
}

}  // namespace

int cmd_checksum(const Args& args) {
  std::u16string device_text;
  if (const int status = with_device_text(args, "usage: checksum FILE", device_text)) return status;
  const DeviceRecord record = build_device_record(device_text);
  write_stdout(text::to_utf8(record.checksum + u"\n" + record.document.serialise(0) + u"\n"));
  return 0;
}

int cmd_decide(const Args& args) {
  std::u16string device_text;
  if (const int status = with_device_text(args, "usage: decide FILE", device_text)) return status;
  read_config();
  const DeviceRecord record = build_device_record(device_text);
  std::lock_guard<std::recursive_mutex> lock(config_lock);
  const RuleDecision decision = decide_by_rules(record.description, false);
  std::u16string out = std::u16string(text::widen_ascii(std::to_string(decision.verdict))) + u"\n";
  out += decision.list.empty() ? std::u16string(u"-")
                               : std::u16string(decision.list) + u" " + text::widen_ascii(std::to_string(decision.position));
  write_stdout(text::to_utf8(out + u"\n"));
  return 0;
}

}  // namespace tool
