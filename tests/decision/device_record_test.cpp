// The device record: the five texts read from a device text, the checksum over their fixed
// layout, the device document. Expected checksums were computed independently (Python's hashlib
// over the layout written out by hand).
#include <gtest/gtest.h>

#include <string>

#include "decision/device_record.h"
#include "decision/device_texts.h"
#include "decision/sha1.h"
#include "text/utf.h"

using decision_test::device_text;
using decision_test::kKingstonStick;

namespace {

struct Texts {
  const char16_t* producent;
  const char16_t* produkt;
  const char16_t* numer;
  const char16_t* klasa;
  const char16_t* opis;
};

void expect_texts(const Texts& want, const CUsbRule& got) {
  EXPECT_EQ(want.producent, got.producent);
  EXPECT_EQ(want.produkt, got.produkt);
  EXPECT_EQ(want.numer, got.numer);
  EXPECT_EQ(want.klasa, got.klasa);
  EXPECT_EQ(want.opis, got.opis);
}

struct RecordCase {
  const char* name;
  std::u16string device_text;
  Texts texts;
  const char* checksum;
};

const RecordCase kRecordCases[] = {
    {"empty object", u"{}", {u"-", u"-", u"-", u"-", u"-"}, "2832FD2E3A6E0AAB88E4563A8E886D0715F45A5B"},
    {"not JSON", u"this is no device", {u"-", u"-", u"-", u"-", u"-"}, "2832FD2E3A6E0AAB88E4563A8E886D0715F45A5B"},
    {"empty text", u"", {u"-", u"-", u"-", u"-", u"-"}, "2832FD2E3A6E0AAB88E4563A8E886D0715F45A5B"},
    {"other objects only", uR"({"DeviceDescriptors":{"Manufacturer":"Acme"},"Property":{}})",
     {u"-", u"-", u"-", u"-", u"-"}, "2832FD2E3A6E0AAB88E4563A8E886D0715F45A5B"},
    {"descriptor only", uR"({"DeviceDescriptor":{"Manufacturer":"Acme","Product":"Widget","SerialNumber":"SN1"}})",
     {u"Acme", u"Widget", u"SN1", u"-", u"-"}, "BD602E4B8E8886DE235E18C794AE7E176C799C5C"},
    {"property only", uR"({"DeviceProperty":{"ClassName":"DiskDrive","DeviceDescription":"Disk drive"}})",
     {u"-", u"-", u"-", u"DiskDrive", u"Disk drive"}, "3AD31C1A90F64641FA1BB8233AE19670AFBFC6A5"},
    {"number where a text belongs",
     uR"({"DeviceDescriptor":{"Manufacturer":"Acme","Product":"Widget","SerialNumber":12345},)"
     uR"("DeviceProperty":{"ClassName":"USB","DeviceDescription":"Hub"}})",
     {u"Acme", u"Widget", u"12345", u"USB", u"Hub"}, "D76D37D6F64796022E323392720B5FE735A0D532"},
    {"object where a text belongs",
     uR"({"DeviceDescriptor":{"Manufacturer":{"a":1},"Product":"Widget","SerialNumber":"SN1"},)"
     uR"("DeviceProperty":{"ClassName":"USB","DeviceDescription":"Hub"}})",
     {u"", u"Widget", u"SN1", u"USB", u"Hub"}, "B586B6B6EAAFADE1B046BC5908013C125BFE74C3"},
    {"missing member",
     uR"({"DeviceDescriptor":{"Manufacturer":"Acme","SerialNumber":"SN1"},)"
     uR"("DeviceProperty":{"ClassName":"USB","DeviceDescription":"Hub"}})",
     {u"Acme", u"", u"SN1", u"USB", u"Hub"}, "1858F1C5E59ACE672C8C8F2A365A62DBB8EB8DA6"},
    {"escaped characters", device_text(u"Acme \\\"Pro\\\" \\\\ Co", u"Tab\\there", u"SN1", u"USB", u"Hub"),
     {u"Acme \"Pro\" \\ Co", u"Tab\there", u"SN1", u"USB", u"Hub"}, "2A6B531CAB8201B7D9E1DACB7E57F6E45506B0BA"},
    {"Polish description", device_text(u"Acme", u"Widget", u"SN1", u"USB", u"Urządzenie kompozytowe USB"),
     {u"Acme", u"Widget", u"SN1", u"USB", u"Urządzenie kompozytowe USB"}, "850DCD2BAE1C3D6759A803EEB3B9ABB385189BFB"},
    {"descriptor that is a text",
     uR"({"DeviceDescriptor":"Acme","DeviceProperty":{"ClassName":"USB","DeviceDescription":"Hub"}})",
     {u"", u"", u"", u"USB", u"Hub"}, "C0CD010A62C27E7A0388DB202639A7103CEC7EAF"},
    {"library device document", kKingstonStick,
     {u"Kingston", u"DataTraveler 3.0", u"60A44C413AB2F0B0A9A0005B", u"USB", u"USB Mass Storage Device"},
     decision_test::kKingstonChecksum},
};

}  // namespace

TEST(Sha1Hex, KnownDigestsOfUtf16Text) {
  EXPECT_EQ(u"DA39A3EE5E6B4B0D3255BFEF95601890AFD80709", sha1_hex(u""));
  EXPECT_EQ(u"9F04F41A848514162050E3D68C1A7ABB441DC2B5", sha1_hex(u"abc"));
  EXPECT_EQ(u"EA2DE3D1CB445B7EFB1A39FE50B9606EB31E5631", sha1_hex(u"żółw"));
  EXPECT_EQ(u"C4609560A108A0C626AA7F2B38A65566739353C5", sha1_hex(std::u16string(1000000, u'a')));
}

TEST(BuildDeviceRecord, TextsAndChecksumOfEachShape) {
  for (const RecordCase& c : kRecordCases) {
    SCOPED_TRACE(c.name);
    const DeviceRecord record = build_device_record(c.device_text, u"");
    expect_texts(c.texts, record.description);
    EXPECT_EQ(text::from_utf8(c.checksum), record.checksum);
  }
}

// Regression: the class and the description come after the exponent-form "Data1" of the bus type
// in every real device text. Read without wide numbers they were lost, so class rules never
// matched and a device's texts differed from its entry in the current device list.
TEST(BuildDeviceRecord, ClassAndDescriptionFollowAnExponentNumber) {
  const DeviceRecord record = build_device_record(kKingstonStick, u"");
  EXPECT_EQ(u"USB", record.description.klasa);
  EXPECT_EQ(u"USB Mass Storage Device", record.description.opis);
  EXPECT_NE(u"DD5B42CDC2D5CF38E530509A2DA0F5D0AF43FCFE", record.checksum);  // the texts read without the fix
}

TEST(BuildDeviceRecord, DocumentHoldsTextsChecksumAndUser) {
  const DeviceRecord record = build_device_record(kKingstonStick, u"anna");
  EXPECT_EQ(u"{\r\n"
            u"    \"checksum\" : \"6238BFA5EA55CCC09BE24075CCDE3A031B266BDB\", \r\n"
            u"    \"klasa\" : \"USB\", \r\n"
            u"    \"numer\" : \"60A44C413AB2F0B0A9A0005B\", \r\n"
            u"    \"opis\" : \"USB Mass Storage Device\", \r\n"
            u"    \"producent\" : \"Kingston\", \r\n"
            u"    \"produkt\" : \"DataTraveler 3.0\", \r\n"
            u"    \"user\" : \"anna\"\r\n"
            u"}",
            record.document.serialise(0));
}

TEST(BuildDeviceRecord, UserIsTheFirstWhoRunsAShell) {
  // Nobody on the simulated host runs "explorer.exe"; under Wine its shell runs as the prefix's user.
  DeviceRecord record = build_device_record(u"{}");
  EXPECT_EQ(first_logged_on_user(), member_text(record.document, u"user"));
}

TEST(BuildDeviceRecord, VeryLongTextsAreKeptWhole) {
  const std::u16string long_text(200000, u'x');
  const DeviceRecord record = build_device_record(device_text(long_text, u"Widget", u"SN1", u"USB", u"Hub"), u"");
  EXPECT_EQ(long_text, record.description.producent);
  CJsonNode texts;
  texts.set_string(u"klasa", u"USB");
  texts.set_string(u"numer", u"SN1");
  texts.set_string(u"opis", u"Hub");
  texts.set_string(u"producent", long_text);
  texts.set_string(u"produkt", u"Widget");
  EXPECT_EQ(sha1_hex(texts.serialise(0)), record.checksum);
}

TEST(WithExactPatterns, NonEmptyTextsGetAnEqualsSign) {
  CJsonNode document = build_device_record(
      uR"({"DeviceDescriptor":{"Manufacturer":"Acme","Product":"","SerialNumber":"SN1"},"DeviceProperty":{}})", u"ola")
                           .document;
  CJsonNode patterns = with_exact_patterns(document);
  EXPECT_EQ(u"=Acme", member_text(patterns, u"producent"));
  EXPECT_EQ(u"", member_text(patterns, u"produkt"));
  EXPECT_EQ(u"=SN1", member_text(patterns, u"numer"));
  EXPECT_EQ(u"", member_text(patterns, u"klasa"));
  EXPECT_EQ(u"ola", member_text(patterns, u"user"));
  EXPECT_EQ(u"Acme", member_text(document, u"producent"));  // the original is unchanged
}
