#include "decision/add_rule.h"

#include "config/read_config.h"
#include "config/usb_rule.h"
#include "decision/device_record.h"
#include "decision/suite_programs.h"
#include "pipes/commp.h"
#include "process/diagnostics.h"

std::u16string add_rule_label(CJsonNode& device_document, std::u16string_view time_text) {
  std::u16string label;
  for (std::u16string_view name : {u"producent", u"produkt", u"klasa"}) {
    const std::u16string part = member_text(device_document, name);
    label += part;
    if (!part.empty()) label += u"/";
  }
  return label + std::u16string(time_text);
}

std::u16string add_rule_message(CJsonNode& device_document, bool allow, std::u16string_view time_text) {
  CJsonNode rule = with_exact_patterns(device_document);
  rule.set_string(u"etykieta", add_rule_label(device_document, time_text));
  return std::u16string(suite::kAddRule) + (allow ? u"1" : u"0") + u":" + rule.serialise(0);
}

void send_add_rule(CJsonNode& device_document, bool allow) {
  class_commp monitor;
  monitor.connect_timeout = suite::kPipeTimeout;
  monitor.write_timeout = suite::kPipeTimeout;
  monitor.busy_timeout = kMonitorWait;  // the decision holds config_lock meanwhile
  monitor.answer_timeout = kMonitorWait;
  std::u16string ignored;
  monitor.ask(ignored, std::u16string(suite::kMonitor),
              add_rule_message(device_document, allow, diag::local_time_text()), std::u16string(suite::kMonitorChannel));
}
