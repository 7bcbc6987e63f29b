#include "decision/device_record.h"

#include <vector>

#include "decision/json_copy.h"
#include "decision/sha1.h"
#include "process/processes.h"

namespace {

// Where the device text keeps each of the five texts.
struct Source {
  std::u16string_view object;
  std::u16string_view member;
  std::u16string CUsbRule::*field;
};

const Source kSources[] = {
    {u"DeviceDescriptor", u"Manufacturer", &CUsbRule::producent},
    {u"DeviceDescriptor", u"Product", &CUsbRule::produkt},
    {u"DeviceDescriptor", u"SerialNumber", &CUsbRule::numer},
    {u"DeviceProperty", u"ClassName", &CUsbRule::klasa},
    {u"DeviceProperty", u"DeviceDescription", &CUsbRule::opis},
};

// The five texts under their document names.
struct Member {
  std::u16string_view name;
  std::u16string CUsbRule::*field;
};

const Member kMembers[] = {
    {u"producent", &CUsbRule::producent}, {u"produkt", &CUsbRule::produkt}, {u"numer", &CUsbRule::numer},
    {u"klasa", &CUsbRule::klasa},         {u"opis", &CUsbRule::opis},
};

CUsbRule read_description(std::u16string_view device_text) {
  CJsonNode device;
  // Device texts are shaped as the library's device documents, which write numbers of a million
  // or more in exponent form ("Data1" of "BusTypeGuid", ahead of "ClassName" in key order). Read
  // without wide numbers, the reader would stop at such a number and lose the class and the
  // description of every real device.
  device.set_wide_numbers(true);
  device.parse(device_text);
  return device_texts(device);
}

}  // namespace

CUsbRule device_texts(CJsonNode& device) {
  // A text whose object is missing is "-".
  CUsbRule description{u"-", u"-", u"-", u"-", u"-"};
  for (const Source& source : kSources) {
    if (!device.has_member(source.object)) continue;
    description.*source.field = member_text(device[source.object], source.member);
  }
  return description;
}

void set_device_texts(CJsonNode& object, const CUsbRule& texts, std::u16string_view prefix) {
  for (const Member& member : kMembers) object.set_string(member.name, std::u16string(prefix) + texts.*member.field);
}

std::u16string first_logged_on_user() {
  std::vector<std::u16string> users;
  shared_logged_on_users(users);
  return users.empty() ? u"" : users.front();
}

DeviceRecord build_device_record(std::u16string_view device_text) {
  return build_device_record(device_text, first_logged_on_user());
}

DeviceRecord build_device_record(std::u16string_view device_text, const std::u16string& user) {
  DeviceRecord record;
  record.description = read_description(device_text);

  // The checksum is taken over this object's fixed layout: members in key order (klasa, numer,
  // opis, producent, produkt), CR LF line ends, no line end after the closing brace.
  CJsonNode texts;
  set_device_texts(texts, record.description);
  record.checksum = sha1_hex(texts.serialise(0));

  set_device_texts(record.document, record.description);
  record.document.set_string(u"checksum", record.checksum);
  record.document.set_string(u"user", user);
  return record;
}

CJsonNode with_exact_patterns(const CJsonNode& document) {
  CJsonNode copy = copy_document(document);
  for (const Member& member : kMembers) {
    std::u16string text = member_text(copy, member.name);
    if (!text.empty()) copy.set_string(member.name, u"=" + text);
  }
  return copy;
}
