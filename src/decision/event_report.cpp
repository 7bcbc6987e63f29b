#include "decision/event_report.h"

#include "decision/json_copy.h"
#include "platform/os.h"
#include "process/diagnostics.h"
#include "process/paths.h"
#include "process/registry.h"
#include "text/format.h"

namespace {

constexpr char16_t kCounterKey[] = u"Software\\kavenor";
constexpr char16_t kCounterValue[] = u"ln";

}  // namespace

void CEventReport::init(std::u16string date) {
  if (date.empty()) date = diag::local_time_text();
  stamp = diag::local_time_stamp();
  kind = 0;
  document[u"params"].set_string(u"date", std::move(date));
}

void CEventReport::set_title(const std::u16string& title) { document[u"params"].set_string(u"title", title); }

void CEventReport::add_event(const std::u16string& event, const std::u16string& value, const std::u16string& id) {
  CJsonNode entry;
  entry.set_string(u"event", event);
  entry.set_string(u"value", value);
  if (!id.empty()) entry.set_string(u"id", id);
  document[u"report"].append_node(std::move(entry));
}

void CEventReport::add_node(std::u16string_view name, const CJsonNode& node) {
  document[name].append_node(copy_document(node));
}

std::u16string CEventReport::file_path() {
  const DWORD number = registry::reg_read_dword(kCounterKey, kCounterValue, 1);
  registry::reg_write_dword(HKEY_LOCAL_MACHINE, kCounterKey, kCounterValue, number + 1);
  const std::u16string name = text::format(u"%s-%.8i-%.8x-%.2i%.2i.json", stamp, static_cast<int>(number),
                                           static_cast<unsigned>(os::GetTickCount()), category, kind);
  return paths::path_join(paths::path_join(paths::data_path(u"logs"), stamp.substr(0, 8)), name);
}

int CEventReport::save() { return paths::write_utf16_file(file_path(), document.serialise(0)); }
