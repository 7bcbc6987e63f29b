// Admittance records in memory: their order, file name, document, validation and merging.
#include <gtest/gtest.h>

#include "admittance_record.h"
#include "library/admittance.h"
#include "parsed.h"
#include "text/utf.h"

using namespace VostUsbWardenManager;

namespace {


std::string Utf8(const std::u16string& s) { return text::to_utf8(s); }

TEST(Admittance, OrderByIdentityThenSerial) {
  struct Case {
    Admittance a, b;
    int expected;
  };
  const std::u16string high_unit(1, char16_t{0x8000});
  const Case cases[] = {
      {Record(1, 9, 9), Record(2, 0, 0), -1},
      {Record(0xFFFF, 0, 0), Record(1, 0, 0), 1},  // unsigned
      {Record(1, 2, 9), Record(1, 3, 0), -1},
      {Record(1, 2, 4), Record(1, 2, 3), 1},
      {Record(1, 2, 3), Record(1, 2, 3), 0},
      {Record(1, 2, 3), Record(1, 2, 3, u"A"), -1},  // without a serial first
      {Record(1, 2, 3, u"A"), Record(1, 2, 3), 1},
      {Record(1, 2, 3, u"A1"), Record(1, 2, 3, u"A1"), 0},
      {Record(1, 2, 3, u"A1"), Record(1, 2, 3, u"B2"), -1},
      {Record(1, 2, 3, u"A"), Record(1, 2, 3, u"AB"), -1},  // a text that ends is lower...
      {Record(1, 2, 3, u"A"), Record(1, 2, 3, (u"A" + high_unit).c_str()), 1},  // ...unless a unit >= 0x8000 follows
      {Record(1, 2, 3, high_unit.c_str()), Record(1, 2, 3, u"a"), -1},  // units are signed
      {Record(1, 2, 3, u"X", true), Record(1, 2, 3, u"X", false), 0},     // CacheUse takes no part
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(cases[i].a._cmp(cases[i].b), cases[i].expected) << "case " << i;
    EXPECT_EQ(cases[i].b._cmp(cases[i].a), -cases[i].expected) << "case " << i << " reversed";
  }
}

TEST(Admittance, SerialsThatDifferOnlyByTrailingNulAreDifferent) {
  const std::u16string with_nul(u"A\0", 2);
  Admittance a = Record(1, 2, 3, u"A");
  Admittance b = Record(1, 2, 3, u"A");
  b.SerialNumber = with_nul;
  EXPECT_EQ(a._cmp(b), -1);
  EXPECT_EQ(b._cmp(a), 1);
}

TEST(Admittance, CanonNameHasLowerCaseHexDigits) {
  EXPECT_EQ(Utf8(Admittance::GetCanonName(0x1234, 0xABCD, 0x0100)), "Vid_1234_Pid_abcd_Rev_0100.json");
  EXPECT_EQ(Utf8(Record(0, 0xF, 0xFFFF).GetCanonName()), "Vid_0000_Pid_000f_Rev_ffff.json");
}

TEST(Admittance, DocumentOfOneRecord) {
  EXPECT_EQ(Utf8(Record(0x1234, 0xABCD, 0x100, u"A1", false).ToJsonHolder().ToString()),
            R"({"ProductID":43981,"RevBCD":256,"SerialNumbers":[{"CacheUse":false,"SerialNumber":"A1"}],"VendorID":4660})");
  EXPECT_EQ(Utf8(Record(1, 2, 3).ToJsonHolder().ToString()),
            R"({"ProductID":2,"RevBCD":3,"SerialNumbers":[{"CacheUse":true}],"VendorID":1})");
}

TEST(Admittance, Validation) {
  struct Case {
    const char16_t* document;
    std::uint32_t code;
  };
  const Case cases[] = {
      {uR"({"VendorID":1,"ProductID":2,"RevBCD":3,"SerialNumbers":[]})", 0},
      {uR"({"VendorID":65535,"ProductID":0,"RevBCD":3,"SerialNumbers":[{}]})", 0},
      {uR"({"VendorID":1,"ProductID":2,"RevBCD":3,"SerialNumbers":[{"CacheUse":0},{"CacheUse":1,"SerialNumber":"x"}],"Other":null})", 0},
      {uR"([])", 592},
      {uR"({"ProductID":2,"RevBCD":3,"SerialNumbers":[]})", 592},
      {uR"({"VendorID":1,"ProductID":2,"SerialNumbers":[]})", 592},
      {uR"({"VendorID":1,"ProductID":2,"RevBCD":3})", 592},
      {uR"({"VendorID":"1","ProductID":2,"RevBCD":3,"SerialNumbers":[]})", 592},
      {uR"({"VendorID":65536,"ProductID":2,"RevBCD":3,"SerialNumbers":[]})", 592},
      {uR"({"VendorID":1.5,"ProductID":2,"RevBCD":3,"SerialNumbers":[]})", 592},
      {uR"({"VendorID":-1,"ProductID":2,"RevBCD":3,"SerialNumbers":[]})", 592},
      {uR"({"VendorID":1,"ProductID":2,"RevBCD":3,"SerialNumbers":{}})", 592},
      {uR"({"VendorID":1,"ProductID":2,"RevBCD":3,"SerialNumbers":["A1"]})", 592},
      {uR"({"VendorID":1,"ProductID":2,"RevBCD":3,"SerialNumbers":[{"SerialNumber":12}]})", 592},
      {uR"({"VendorID":1,"ProductID":2,"RevBCD":3,"SerialNumbers":[{"CacheUse":2}]})", 592},
      {uR"({"VendorID":1,"ProductID":2,"RevBCD":3,"SerialNumbers":[{"CacheUse":"yes"}]})", 592},
  };
  for (const Case& c : cases) {
    JsonHolder jh = Parsed(c.document);
    std::u16string status = u"before";
    EXPECT_EQ(Admittance::ValidateAdmittancesJson(jh, status), c.code) << Utf8(c.document);
    EXPECT_EQ(Utf8(status), c.code == 0 ? "before" : "Bad data in admittance file; err=0x00000250") << Utf8(c.document);
  }
  for (JsonHolder scalar : {JsonHolder(u"text"), JsonHolder(true), JsonHolder()}) {
    std::u16string status;
    EXPECT_EQ(Admittance::ValidateAdmittancesJson(scalar, status), 592u) << Utf8(scalar.ToString());
  }
}

TEST(Admittance, MergeUpdatesTheMatchingEntryOrAppends) {
  const std::u16string existing =
      uR"({"VendorID":1,"ProductID":2,"RevBCD":3,"SerialNumbers":[{"CacheUse":true,"SerialNumber":"A1"},{"CacheUse":true}]})";
  struct Case {
    Admittance record;
    const char* serials;
  };
  const Case cases[] = {
      {Record(1, 2, 3, u"A1", false), R"([{"CacheUse":false,"SerialNumber":"A1"},{"CacheUse":true}])"},
      {Record(1, 2, 3, nullptr, false), R"([{"CacheUse":true,"SerialNumber":"A1"},{"CacheUse":false}])"},
      {Record(1, 2, 3, u"a1", true), R"([{"CacheUse":true,"SerialNumber":"A1"},{"CacheUse":true},{"CacheUse":true,"SerialNumber":"a1"}])"},
  };
  for (const Case& c : cases) {
    JsonHolder jh = Parsed(existing);
    std::u16string status;
    ASSERT_EQ(c.record.AddToJsonHolder(jh, status), 0u) << Utf8(status);
    EXPECT_EQ(Utf8(jh[u"SerialNumbers"].ToString()), c.serials);
  }
}

TEST(Admittance, MergeIntoAnInvalidDocumentChangesNothing) {
  JsonHolder jh = Parsed(uR"({"VendorID":1,"ProductID":2,"RevBCD":3,"SerialNumbers":[{"SerialNumber":7}]})");
  const std::u16string before = jh.ToString();
  std::u16string status;
  EXPECT_EQ(Record(1, 2, 3, u"A").AddToJsonHolder(jh, status), 592u);
  EXPECT_EQ(Utf8(status), "Bad data in admittance file; err=0x00000250");
  EXPECT_EQ(jh.ToString(), before);
}

TEST(AdmittanceList, EqualRecordsAreOneElementAndTheFirstStays) {
  AdmittanceList list;
  EXPECT_TRUE(list.Add(Record(1, 2, 3, u"A", false)));
  EXPECT_FALSE(list.Add(Record(1, 2, 3, u"A", true)));
  EXPECT_TRUE(list.Add(Record(1, 2, 3)));
  ASSERT_EQ(list.list.size(), 2u);
  EXPECT_FALSE(list.list.begin()->first.hasSerial) << "ascending: the record without a serial first";
  EXPECT_FALSE(std::next(list.list.begin())->first.CacheUse);

  AdmittanceList copy;
  copy.Add(Record(9, 9, 9));
  copy = list;
  ASSERT_EQ(copy.list.size(), 2u) << "assignment replaces the content";
  EXPECT_EQ(copy.list.begin()->first.VendorID, 1);
}

}  // namespace
