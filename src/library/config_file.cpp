// The driver's configuration file: its validation, writing it whole, and changing one option in
// the driver and in the file.
#include <memory>

#include "library/document_helpers.h"
#include "library/driver_interface.h"
#include "library/manager.h"
#include "library/status_text.h"

namespace VostUsbWardenManager {

namespace {

constexpr std::uint32_t kBadData = 592;         // 0x250: the file's content is not a configuration
constexpr std::uint32_t kBadOption = 160;       // 0xA0: ERROR_BAD_ARGUMENTS, an option outside 1 to 5
constexpr std::uint32_t kStatusUnknown = 1920;  // 0x780: the file's status could not be queried
constexpr std::uint32_t kInvalidParameter = 87;

const char16_t* BoolMemberOf(OptionID option) {
  switch (option) {
    case Option_capture: return u"capture";
    case Option_filter: return u"filter";
    case Option_notify_handle: return u"notify_handle";
    case Option_hubs_always_accepted: return u"hubs_always_accepted";
    default: return nullptr;
  }
}

bool IsKnownOption(OptionID option) { return option == Option_filesAndCacheMode || BoolMemberOf(option) != nullptr; }

// The file a missing configuration starts from.
JsonHolder DefaultDocument() {
  JsonHolder jh = JsonHolder::CreateObject();
  SetMember(jh, u"capture", JsonHolder(true));
  SetMember(jh, u"hubs_always_accepted", JsonHolder(false));
  SetMember(jh, u"filter", JsonHolder(true));
  SetMember(jh, u"notify_handle", JsonHolder(true));
  SetMember(jh, u"filesAndCacheMode", JsonHolder(static_cast<double>(FilesAndCacheMode_Default)));
  return jh;
}

std::uint32_t ValidateMode(const JsonHolder& jh) {
  if (!jh.HasField(u"filesAndCacheMode")) return 0;
  const JsonHolder& mode = jh[u"filesAndCacheMode"];
  if (mode.GetTyp() != JsonHolderType::Number) return kBadData;
  return IsWholeNumberUpTo(mode.Value().number, FilesAndCacheMode_Max) ? 0 : kBadData;
}

}  // namespace

void Manager::SetDefaultWardenConfig(WardenConfig& cfg, const AdmittanceList* admitts) {
  const WardenConfig defaults;
  cfg.capture = defaults.capture;
  cfg.filter = defaults.filter;
  cfg.notify_handle = defaults.notify_handle;
  cfg.hubs_always_accepted = defaults.hubs_always_accepted;
  cfg.filesAndCacheMode = defaults.filesAndCacheMode;
  if (admitts != nullptr) {
    cfg.admittances = *admitts;
  } else {
    cfg.admittances.list.clear();
  }
}

std::uint32_t Manager::ValidateBoolOptional(JsonHolder& jh, const char16_t* optName) {
  if (!jh.HasField(optName)) return 0;
  return IsBoolLike(jh[optName]) ? 0 : kBadData;
}

std::uint32_t Manager::ValidateConfigJson(JsonHolder& jh, std::u16string& status_text) {
  try {
    std::uint32_t r = jh.GetTyp() == JsonHolderType::Object ? 0 : kBadData;
    for (const char16_t* name : {u"capture", u"filter", u"notify_handle", u"hubs_always_accepted"}) {
      if (r == 0) r = ValidateBoolOptional(jh, name);
    }
    if (r == 0) r = ValidateMode(jh);
    if (r != 0) status_text = ErrText(u"Bad data in config file", r);
    return r;
  } catch (const JsonHolderException& e) {
    status_text = ErrText(e.Message(), ExceptionCode(e));
    return ExceptionCode(e);
  }
}

std::uint32_t Manager::SaveConfig(const WardenConfig* cfg, std::u16string& status_text) {
  std::u16string path;
  if (const std::uint32_t r = GetConfigFile(path, status_text)) return r;
  JsonHolder jh;
  try {
    jh = JsonHolder::CreateObject();
    SetMember(jh, u"capture", JsonHolder(cfg->capture));
    SetMember(jh, u"filter", JsonHolder(cfg->filter));
    SetMember(jh, u"notify_handle", JsonHolder(cfg->notify_handle));
    SetMember(jh, u"hubs_always_accepted", JsonHolder(cfg->hubs_always_accepted));
    SetMember(jh, u"filesAndCacheMode", JsonHolder(static_cast<double>(cfg->filesAndCacheMode)));
  } catch (const JsonHolderException& e) {
    status_text = ErrText(e.Message(), ExceptionCode(e));
    return ExceptionCode(e);
  }
  if (const std::uint32_t r = jh.SaveToFile(path, status_text)) return r;
  if (cfg->admittances.list.empty()) return 0;

  std::u16string folder;
  if (const std::uint32_t r = GetAdmittancesFolder(folder, status_text, false)) return r;
  if (const std::uint32_t r = AdmittanceList::ClearDirectory(folder.c_str(), status_text)) return r;
  return cfg->admittances.SaveToDirectory(folder.c_str(), status_text);
}

std::uint32_t Manager::SetMainOption(ConfigTypes mode, std::uint32_t io_code, OptionID option, bool onoff,
                                     FilesAndCacheMode racm, std::u16string& status_text) {
  if (option == 0) return kBadOption;
  // A mode the validator refuses would leave a file that no later change could load.
  if (option == Option_filesAndCacheMode && racm > FilesAndCacheMode_Max) {
    status_text = ErrText(u"Operation fail", kInvalidParameter);
    return kInvalidParameter;
  }
  if (mode == ConfigDriverOnly || mode == ConfigDriverAndFile) {
    if (!IsKnownOption(option)) {
      if (!Attach(status_text)) return os::GetLastError();
      return kBadOption;
    }
    std::uint32_t mode_value = racm;
    const std::uint32_t r = option == Option_filesAndCacheMode
                                ? SendToDriver(driver::kSetFilesAndCacheMode, &mode_value, driver::kFilesAndCacheModeSize,
                                               status_text)
                                : SendToDriver(io_code, nullptr, 0, status_text);
    if (r != 0) return r;
  }
  if (mode == ConfigFileOnly || mode == ConfigDriverAndFile) return ChangeOptionInFile(option, onoff, racm, status_text);
  return 0;
}

std::uint32_t Manager::ChangeOptionInFile(OptionID option, bool onoff, FilesAndCacheMode racm,
                                          std::u16string& status_text) {
  std::u16string path;
  if (const std::uint32_t r = GetConfigFile(path, status_text)) return r;
  bool exists = false;
  if (FileExists(path.c_str(), &exists) != 0) {
    status_text = ErrText(u"Operation fail", kStatusUnknown);
    return kStatusUnknown;
  }
  JsonHolder jh;
  try {
    if (exists) {
      if (const std::uint32_t r = JsonHolder::LoadFromFile(path, jh, status_text)) return r;
      if (const std::uint32_t r = ValidateConfigJson(jh, status_text)) return r;
    } else {
      jh = DefaultDocument();
    }
    if (option == Option_filesAndCacheMode) {
      SetMember(jh, u"filesAndCacheMode", JsonHolder(static_cast<double>(static_cast<std::uint16_t>(racm))));
    } else if (const char16_t* member = BoolMemberOf(option)) {
      SetMember(jh, member, JsonHolder(onoff));
    } else {
      return kBadOption;
    }
  } catch (const JsonHolderException& e) {
    status_text = ErrText(e.Message(), ExceptionCode(e));
    return ExceptionCode(e);
  }
  return jh.SaveToFile(path, status_text);
}

}  // namespace VostUsbWardenManager
