#include "driver_settings.h"

#include <vector>

#include "json/json_node.h"
#include "library/document_helpers.h"
#include "library/manager.h"
#include "platform/handle.h"
#include "text/chars.h"
#include "text/utf.h"

namespace machined {

namespace lib = VostUsbWardenManager;

namespace {

std::string not_read(std::u16string_view why) { return "not read: " + text::to_utf8(why); }

// A valid document's boolean-like member (true, false, 1 or 0); `fallback` when it is absent.
bool flag_of(const lib::JsonHolder& doc, const char16_t* name, bool fallback) {
  if (!doc.HasField(name)) return fallback;
  const lib::JsonHolder& value = doc[name];
  return value.GetTyp() == lib::JsonHolderType::Boolean ? value.Value().flag : value.Value().number != 0;
}

std::uint16_t id_of(const lib::JsonHolder& doc, const char16_t* name) {
  return static_cast<std::uint16_t>(doc[name].Value().number);
}

// The records of a valid admittance document, or false when its name is not its canonical name.
bool add_records(const lib::JsonHolder& doc, std::u16string_view file_name, lib::AdmittanceList& admitted) {
  lib::Admittance base;
  base.VendorID = id_of(doc, u"VendorID");
  base.ProductID = id_of(doc, u"ProductID");
  base.RevBCD = id_of(doc, u"RevBCD");
  if (text::fold_case(base.GetCanonName()) != text::fold_case(file_name)) return false;
  const lib::JsonHolder& serials = doc[u"SerialNumbers"];
  const auto count = static_cast<int>(serials.Count());
  for (int i = 0; i < count; ++i) {
    lib::Admittance record = base;
    record.hasSerial = serials[i].HasField(u"SerialNumber");
    if (record.hasSerial) record.SerialNumber = serials[i][u"SerialNumber"].StringVal();
    record.CacheUse = flag_of(serials[i], u"CacheUse", true);
    admitted.Add(record);
  }
  return true;
}

}  // namespace

ConfigSettings read_config_settings(const std::u16string& path) {
  ConfigSettings settings;
  if (path.empty()) return settings;
  lib::JsonHolder doc;
  std::u16string why;
  if (lib::JsonHolder::LoadFromFile(path, doc, why) != 0 || lib::Manager::ValidateConfigJson(doc, why) != 0) {
    settings.outcome = not_read(why);
    return settings;
  }
  settings.hubs_always_accepted = flag_of(doc, u"hubs_always_accepted", false);
  settings.filter = flag_of(doc, u"filter", true);
  settings.capture = flag_of(doc, u"capture", true);
  settings.notify_handle = flag_of(doc, u"notify_handle", true);
  if (doc.HasField(u"filesAndCacheMode")) {
    settings.files_and_cache_mode = static_cast<DWORD>(doc[u"filesAndCacheMode"].Value().number);
  }
  settings.outcome = "read";
  return settings;
}

AdmittanceSettings read_admittance_settings(const std::u16string& folder) {
  AdmittanceSettings settings;
  if (folder.empty()) return settings;
  const std::u16string prefix = folder.back() == u'\\' ? folder : folder + u'\\';
  os::WIN32_FIND_DATAW found{};
  os::unique_hfind find(os::FindFirstFileW((prefix + std::u16string(lib::kAdmittanceFilePattern)).c_str(), &found));
  if (!find) {
    const DWORD code = os::GetLastError();
    settings.outcome = code == ERROR_FILE_NOT_FOUND ? "read" : "not read: error " + std::to_string(code);
    return settings;
  }
  std::vector<std::u16string> names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && lib::IsAdmittanceFileName(found.cFileName)) {
      names.emplace_back(found.cFileName);
    }
  } while (os::FindNextFileW(find.get(), &found));
  find.reset();
  for (const std::u16string& name : names) {
    lib::JsonHolder doc;
    std::u16string why;
    const bool valid = lib::JsonHolder::LoadFromFile(prefix + name, doc, why) == 0 &&
                       lib::Admittance::ValidateAdmittancesJson(doc, why) == 0 &&
                       add_records(doc, name, settings.admitted);
    ++(valid ? settings.files_read : settings.files_skipped);
  }
  settings.outcome = "read";
  return settings;
}

std::optional<lib::Admittance> identity_of(std::u16string_view device_text) {
  CJsonNode doc;
  doc.parse(device_text);
  if (!doc.has_member(u"DeviceDescriptor")) return std::nullopt;
  CJsonNode& descriptor = doc[u"DeviceDescriptor"];
  lib::Admittance identity;
  std::uint16_t* const fields[] = {&identity.VendorID, &identity.ProductID, &identity.RevBCD};
  const char16_t* const names[] = {u"idVendor", u"idProduct", u"bcdDevice"};
  for (int i = 0; i < 3; ++i) {
    if (!descriptor.has_member(names[i])) return std::nullopt;
    const CJsonNode& field = descriptor[names[i]];
    if (field.type() != CJsonNode::kInteger || field.number() < 0 || field.number() > 0xFFFF) return std::nullopt;
    *fields[i] = static_cast<std::uint16_t>(field.number());
  }
  identity.hasSerial = descriptor.has_member(u"SerialNumber");
  if (identity.hasSerial) identity.SerialNumber = descriptor[u"SerialNumber"].as_string();
  return identity;
}

bool is_admitted(const lib::AdmittanceList& admitted, const lib::Admittance& identity) {
  lib::Admittance any_serial = identity;
  any_serial.hasSerial = false;
  any_serial.SerialNumber.clear();
  return admitted.list.count(any_serial) != 0 || (identity.hasSerial && admitted.list.count(identity) != 0);
}

}  // namespace machined
