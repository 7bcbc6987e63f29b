#include "decision/device_report.h"

#include "config/usb_rule.h"
#include "decision/event_report.h"
#include "process/diagnostics.h"

namespace {

struct ReportEvent {
  const char16_t* event;
  const char16_t* member;
};

// The device's events in a report, in order.
const ReportEvent kDeviceEvents[] = {
    {u"Producent", u"producent"},       {u"Produkt", u"produkt"},          {u"Klasa", u"klasa"},
    {u"Opis", u"opis"},                 {u"Numer seryjny", u"numer"},      {u"Suma kontrolna", u"checksum"},
    {u"Użytkownik", u"user"},
};

}  // namespace

void report_device(CJsonNode& document, bool allowed, bool with_drives) {
  CEventReport report;
  report.init(u"");
  report.category = CEventReport::kDeviceCategory;
  for (const ReportEvent& entry : kDeviceEvents) report.add_event(entry.event, member_text(document, entry.member));
  if (with_drives) report.add_event(u"Dyski", member_text(document, u"dyski"));
  report.set_title(allowed ? u"Podłączone urządzenie USB" : u"Zablokowane urządzenie USB");
  report.add_event(u"Akcja", allowed ? u"Dopuszczone" : u"Zablokowane");
  report.kind = allowed ? CEventReport::kAllowed : CEventReport::kBlocked;
  document.set_integer(u"action", allowed ? 1 : 0);
  document.set_string(u"time", diag::local_time_text());
  report.add_node(u"info", document);
  report.save();
}
