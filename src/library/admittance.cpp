// The admittance record: its order, its file name and its document.
#include "library/admittance.h"

#include <algorithm>

#include "library/document_helpers.h"
#include "library/status_text.h"
#include "text/format.h"

namespace VostUsbWardenManager {

namespace {

constexpr std::uint32_t kBadData = 592;  // 0x250: the file's content is not an admittance document
constexpr double kMaxId = 65535;

int Compare(std::uint16_t a, std::uint16_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

// Code unit by code unit as signed 16-bit values. Where one text ends, its end counts as a 0 unit
// against the other's next unit; against a real 0 unit the shorter text is lower, so different
// texts never compare equal.
int CompareSerials(const std::u16string& a, const std::u16string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int ua = static_cast<std::int16_t>(a[i]);
    const int ub = static_cast<std::int16_t>(b[i]);
    if (ua != ub) return ua < ub ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  const bool a_shorter = a.size() < b.size();
  const int next = static_cast<std::int16_t>(a_shorter ? b[n] : a[n]);
  const int shorter_side = next < 0 ? 1 : -1;  // the shorter text's result against the longer
  return a_shorter ? shorter_side : -shorter_side;
}

bool HasMembers(const JsonHolder& jh) {
  for (const char16_t* name : {u"VendorID", u"ProductID", u"RevBCD", u"SerialNumbers"}) {
    if (!jh.HasField(name)) return false;
  }
  return true;
}

bool IsIdNumber(const JsonHolder& value) {
  return value.GetTyp() == JsonHolderType::Number && IsWholeNumberUpTo(value.Value().number, kMaxId);
}

bool IsSerialEntry(const JsonHolder& entry) {
  if (entry.GetTyp() != JsonHolderType::Object) return false;
  if (entry.HasField(u"CacheUse") && !IsBoolLike(entry[u"CacheUse"])) return false;
  return !entry.HasField(u"SerialNumber") || entry[u"SerialNumber"].GetTyp() == JsonHolderType::String;
}

bool IsAdmittanceDocument(const JsonHolder& jh) {
  if (jh.GetTyp() != JsonHolderType::Object || !HasMembers(jh)) return false;
  if (!IsIdNumber(jh[u"VendorID"]) || !IsIdNumber(jh[u"ProductID"]) || !IsIdNumber(jh[u"RevBCD"])) return false;
  const JsonHolder& serials = jh[u"SerialNumbers"];
  if (serials.GetTyp() != JsonHolderType::Array) return false;
  const auto count = static_cast<int>(serials.Count());
  for (int i = 0; i < count; ++i) {
    if (!IsSerialEntry(serials[i])) return false;
  }
  return true;
}

}  // namespace

int Admittance::_cmp(const Admittance& a) const {
  if (int c = Compare(VendorID, a.VendorID)) return c;
  if (int c = Compare(ProductID, a.ProductID)) return c;
  if (int c = Compare(RevBCD, a.RevBCD)) return c;
  if (!hasSerial || !a.hasSerial) return hasSerial == a.hasSerial ? 0 : (hasSerial ? 1 : -1);
  return CompareSerials(SerialNumber, a.SerialNumber);
}

std::u16string Admittance::GetCanonName(std::uint16_t vendor, std::uint16_t product, std::uint16_t rev) {
  return text::format(u"Vid_%04x_Pid_%04x_Rev_%04x.json", unsigned{vendor}, unsigned{product}, unsigned{rev});
}

JsonHolder Admittance::ToJsonHolder() const {
  JsonHolder entry = JsonHolder::CreateObject();
  SetMember(entry, u"CacheUse", JsonHolder(CacheUse));
  if (hasSerial) SetMember(entry, u"SerialNumber", JsonHolder(SerialNumber));
  JsonHolder serials = JsonHolder::CreateArray();
  AppendElement(serials, std::move(entry));

  JsonHolder jh = JsonHolder::CreateObject();
  SetMember(jh, u"VendorID", JsonHolder(static_cast<double>(VendorID)));
  SetMember(jh, u"ProductID", JsonHolder(static_cast<double>(ProductID)));
  SetMember(jh, u"RevBCD", JsonHolder(static_cast<double>(RevBCD)));
  SetMember(jh, u"SerialNumbers", std::move(serials));
  return jh;
}

std::uint32_t Admittance::AddToJsonHolder(JsonHolder& jh, std::u16string& status_text) const {
  if (const std::uint32_t r = ValidateAdmittancesJson(jh, status_text)) return r;
  try {
    JsonHolder& serials = jh[u"SerialNumbers"];
    const auto count = static_cast<int>(serials.Count());
    for (int i = 0; i < count; ++i) {
      JsonHolder& entry = serials[i];
      const bool named = entry.HasField(u"SerialNumber");
      const bool matches = hasSerial ? named && entry[u"SerialNumber"].StringVal() == SerialNumber : !named;
      if (matches) {
        SetMember(entry, u"CacheUse", JsonHolder(CacheUse));
        return 0;
      }
    }
    JsonHolder entry = JsonHolder::CreateObject();
    SetMember(entry, u"CacheUse", JsonHolder(CacheUse));
    if (hasSerial) SetMember(entry, u"SerialNumber", JsonHolder(SerialNumber));
    AppendElement(serials, std::move(entry));
    return 0;
  } catch (const JsonHolderException& e) {
    status_text = e.Message();
    return ExceptionCode(e);
  }
}

std::uint32_t Admittance::ValidateAdmittancesJson(JsonHolder& jh, std::u16string& status_text) {
  try {
    if (IsAdmittanceDocument(jh)) return 0;
    status_text = ErrText(u"Bad data in admittance file", kBadData);
    return kBadData;
  } catch (const JsonHolderException& e) {
    status_text = ErrText(e.Message(), ExceptionCode(e));
    return ExceptionCode(e);
  }
}

}  // namespace VostUsbWardenManager
