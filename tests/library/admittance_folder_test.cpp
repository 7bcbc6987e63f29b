// The admittance folder on a fresh machine: records to files, merging into the files already
// there, files that are not valid, and clearing with read-only files and names that almost match.
#include <gtest/gtest.h>

#include <filesystem>

#include "admittance_record.h"
#include "library/admittance.h"
#include "platform/os.h"
#include "support/sim_root.h"
#include "text/utf.h"

using namespace VostUsbWardenManager;
using testing_support::read_native_file;
using testing_support::write_native_file;

namespace {


class AdmittanceFolder : public testing_support::FreshHost {
 protected:
  void SetUp() override {
    FreshHost::SetUp();
    std::filesystem::create_directories(native_dir() + "/adm");
    folder_ = win_path("adm");
  }
  std::string native(const std::string& name) const { return native_dir() + "/adm/" + name; }
  // A file's text (UTF-16LE without byte-order mark) as UTF-8.
  std::string Text(const std::string& name) const {
    return text::to_utf8(text::from_utf16le(read_native_file(native(name))));
  }
  void Write(const std::string& name, const std::u16string& content) const {
    write_native_file(native(name), text::to_utf16le(content));
  }
  void MakeReadOnly(const std::string& name) const {
    ASSERT_TRUE(os::SetFileAttributesW((folder_ + u"\\" + text::from_utf8(name)).c_str(), FILE_ATTRIBUTE_READONLY));
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(native(name)); }

  std::u16string folder_;
  std::u16string status_;
};

TEST_F(AdmittanceFolder, RecordsOfOneDeviceMakeOneFileInListOrder) {
  AdmittanceList list;
  list.Add(Record(0x1234, 0xABCD, 0x0100, u"B2"));
  list.Add(Record(0x1234, 0xABCD, 0x0100, u"A1", false));
  list.Add(Record(0x1234, 0xABCD, 0x0100));
  list.Add(Record(0x0001, 0x0002, 0x0003, u"Z"));
  ASSERT_EQ(list.SaveToDirectory(folder_.c_str(), status_), 0u) << text::to_utf8(status_);
  EXPECT_EQ(Text("Vid_1234_Pid_abcd_Rev_0100.json"),
            R"({"ProductID":43981,"RevBCD":256,"SerialNumbers":[{"CacheUse":true},)"
            R"({"CacheUse":false,"SerialNumber":"A1"},{"CacheUse":true,"SerialNumber":"B2"}],"VendorID":4660})");
  EXPECT_EQ(Text("Vid_0001_Pid_0002_Rev_0003.json"),
            R"({"ProductID":2,"RevBCD":3,"SerialNumbers":[{"CacheUse":true,"SerialNumber":"Z"}],"VendorID":1})");
}

TEST_F(AdmittanceFolder, ExistingFileKeepsItsEntriesAndASecondSaveOnlyUpdatesTheFlag) {
  Write("Vid_0001_Pid_0002_Rev_0003.json",
        uR"({"VendorID":1,"ProductID":2,"RevBCD":3,"SerialNumbers":[{"CacheUse":true,"SerialNumber":"OLD"}]})");
  AdmittanceList list;
  list.Add(Record(1, 2, 3, u"NEW", true));
  ASSERT_EQ(list.SaveToDirectory(folder_.c_str(), status_), 0u) << text::to_utf8(status_);
  const std::string merged =
      R"({"ProductID":2,"RevBCD":3,"SerialNumbers":[{"CacheUse":true,"SerialNumber":"OLD"},)"
      R"({"CacheUse":true,"SerialNumber":"NEW"}],"VendorID":1})";
  EXPECT_EQ(Text("Vid_0001_Pid_0002_Rev_0003.json"), merged);

  AdmittanceList again;
  again.Add(Record(1, 2, 3, u"NEW", false));
  ASSERT_EQ(again.SaveToDirectory((folder_ + u"\\").c_str(), status_), 0u) << "a folder ending in a backslash";
  EXPECT_EQ(Text("Vid_0001_Pid_0002_Rev_0003.json"),
            R"({"ProductID":2,"RevBCD":3,"SerialNumbers":[{"CacheUse":true,"SerialNumber":"OLD"},)"
            R"({"CacheUse":false,"SerialNumber":"NEW"}],"VendorID":1})");
}

TEST_F(AdmittanceFolder, AnInvalidExistingFileStopsTheSaveAndStays) {
  const std::u16string bad = uR"({"VendorID":1,"ProductID":2,"RevBCD":3,"SerialNumbers":[{"SerialNumber":5}]})";
  Write("Vid_0001_Pid_0002_Rev_0003.json", bad);
  Write("Vid_0009_Pid_0009_Rev_0009.json", u"not json");
  AdmittanceList list;
  list.Add(Record(0, 0, 1, u"first"));  // saved before the failing device
  list.Add(Record(1, 2, 3, u"X"));
  list.Add(Record(5, 5, 5, u"after"));  // never reached
  EXPECT_EQ(list.SaveToDirectory(folder_.c_str(), status_), 592u);
  EXPECT_EQ(text::to_utf8(status_), "Bad data in admittance file; err=0x00000250");
  EXPECT_EQ(read_native_file(native("Vid_0001_Pid_0002_Rev_0003.json")), text::to_utf16le(bad));
  EXPECT_TRUE(Exists("Vid_0000_Pid_0000_Rev_0001.json"));
  EXPECT_FALSE(Exists("Vid_0005_Pid_0005_Rev_0005.json"));

  AdmittanceList unparsable;
  unparsable.Add(Record(9, 9, 9));
  EXPECT_NE(unparsable.SaveToDirectory(folder_.c_str(), status_), 0u);
  EXPECT_EQ(Text("Vid_0009_Pid_0009_Rev_0009.json"), "not json");
}

TEST_F(AdmittanceFolder, EmptyListTouchesNothing) {
  AdmittanceList empty;
  EXPECT_EQ(empty.SaveToDirectory((folder_ + u"\\missing\\deeper").c_str(), status_), 0u);
  EXPECT_TRUE(status_.empty());
}

TEST_F(AdmittanceFolder, ClearDeletesOnlyWritableFilesOfTheExactPattern) {
  const char* doomed[] = {"Vid_1234_Pid_abcd_Rev_0100.json", "VID_0000_PID_0000_REV_0000.JSON",
                          "Vid_zzzz_Pid_0000_Rev_0000.json"};
  const char* kept[] = {
      "Vid_1234_Pid_abcd_Rev_01.json",         // "?" matching nothing before the dot
      "Vid_1234_Pid_abcd_Rev_01000.json",      // one digit too many
      "Vid_1234_Pid_abcd_Rev_0100.json.bak",   // more after the pattern
      "xVid_1234_Pid_abcd_Rev_0100.json",      // more before it
      "Vid_1234_Pid_abcd_Rev_0100.jsn",        // another extension
      "Vid_1234-Pid_abcd_Rev_0100.json",       // another separator
      "notes.txt",
  };
  for (const char* name : doomed) Write(name, u"{}");
  for (const char* name : kept) Write(name, u"{}");
  Write("Vid_0000_Pid_0000_Rev_0001.json", u"{}");
  MakeReadOnly("Vid_0000_Pid_0000_Rev_0001.json");
  std::filesystem::create_directories(native("Vid_0000_Pid_0000_Rev_0002.json"));

  ASSERT_EQ(AdmittanceList::ClearDirectory(folder_.c_str(), status_), 0u) << text::to_utf8(status_);
  EXPECT_TRUE(status_.empty()) << "a read-only file is left in place and not reported";
  for (const char* name : doomed) EXPECT_FALSE(Exists(name)) << name;
  for (const char* name : kept) EXPECT_TRUE(Exists(name)) << name;
  EXPECT_TRUE(Exists("Vid_0000_Pid_0000_Rev_0001.json"));
  EXPECT_TRUE(std::filesystem::is_directory(native("Vid_0000_Pid_0000_Rev_0002.json")));
}

TEST_F(AdmittanceFolder, ClearWithoutMatchesOrWithoutTheFolder) {
  EXPECT_EQ(AdmittanceList::ClearDirectory(folder_.c_str(), status_), 0u);
  EXPECT_TRUE(status_.empty());
  const std::uint32_t r = AdmittanceList::ClearDirectory((folder_ + u"\\missing").c_str(), status_);
  EXPECT_EQ(r, 3u) << "ERROR_PATH_NOT_FOUND";
  EXPECT_EQ(text::to_utf8(status_), "Nie można wylistować plików; err=0x00000003");
}

TEST_F(AdmittanceFolder, FileExistsTellsPresentFromMissing) {
  Write("here.json", u"{}");
  bool wynik = false;
  EXPECT_EQ(FileExists((folder_ + u"\\here.json").c_str(), &wynik), 0);
  EXPECT_TRUE(wynik);
  EXPECT_EQ(FileExists((folder_ + u"\\gone.json").c_str(), &wynik), 0);
  EXPECT_FALSE(wynik);
  wynik = true;
  EXPECT_EQ(FileExists((folder_ + u"\\no\\such\\folder.json").c_str(), &wynik), 0);
  EXPECT_FALSE(wynik);
}

}  // namespace
