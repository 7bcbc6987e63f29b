#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/scramble.h"
#include "support/run_command.h"
#include "support/sim_root.h"
#include "text/utf.h"

namespace {

// {"b":1,"a":"Łódź","f":1.5,"g":2}
const std::u16string kDocument = u"{\"b\":1,\"a\":\"\u0141\u00F3d\u017A\",\"f\":1.5,\"g\":2}";
const std::string kWritten = "{\r\n    \"a\" : \"\xC5\x81\xC3\xB3" "d\xC5\xBA\", \r\n    \"b\" : 1, \r\n    \"f\" : 1\r\n}";
const std::string kWrittenWide =
    "{\r\n    \"a\" : \"\xC5\x81\xC3\xB3" "d\xC5\xBA\", \r\n    \"b\" : 1, \r\n    \"f\" : 1, \r\n    \"g\" : 2\r\n}";

}  // namespace

class ToolJson : public testing_support::FreshHost {
 protected:
  testing_support::CommandResult tool(const std::vector<std::string>& args) {
    return testing_support::run_built("vostrelusb-tool", args, native_dir());
  }
  std::string file(const std::string& name, const std::string& bytes) const {
    const std::string path = native_dir() + "/" + name;
    testing_support::write_native_file(path, bytes);
    return path;
  }
};

TEST_F(ToolJson, EveryFormOfADataFileIsWrittenInTheSameLayout) {
  const std::string utf16_with_mark = "\xFF\xFE" + text::to_utf16le(kDocument);
  for (const std::string& path : {file("utf16.json", text::to_utf16le(kDocument)), file("utf16_mark.json", utf16_with_mark),
                                  file("scrambled.bin", scramble::scramble_file(utf16_with_mark))}) {
    const auto result = tool({"json", "--process", path});
    EXPECT_EQ(0, result.status) << path;
    EXPECT_EQ(kWritten, result.out) << path;
    EXPECT_EQ("", result.err) << path;
  }
  // Narrow text (here ASCII, the same in every ANSI code page).
  const auto narrow = tool({"json", "--process", file("narrow.json", "{\"b\":1,\"a\":\"x\"}")});
  EXPECT_EQ(0, narrow.status);
  EXPECT_EQ("{\r\n    \"a\" : \"x\", \r\n    \"b\" : 1\r\n}", narrow.out);
}

TEST_F(ToolJson, WideNumbersReadPastAFraction) {
  const auto result = tool({"json", "--process", "--wide-numbers", file("doc.json", "\xFF\xFE" + text::to_utf16le(kDocument))});
  EXPECT_EQ(0, result.status);
  EXPECT_EQ(kWrittenWide, result.out);
}

TEST_F(ToolJson, EdgeCasesOfTheReaderReachTheOutput) {
  struct Case {
    std::u16string input;
    std::string output;
  };
  const Case cases[] = {
      {u"[1,2]", "[\r\n    [\r\n        1, \r\n        2\r\n    ]\r\n]"},
      {u"*hex*007b00220061002200" u"3a006e0075006c006c007d0", "{\r\n    \"a\" : 0\r\n}"},
      // A lone surrogate is left out of UTF-8, as the process writes UTF-8 files.
      {u"{\"s\":\"a\xD800" u"b\"}", "{\r\n    \"s\" : \"ab\"\r\n}"},
      {u"{\"a\":1,x}", "{\r\n    \"a\" : 1\r\n}"},
  };
  for (const Case& c : cases) {
    const auto result = tool({"json", "--process", file("edge.json", "\xFF\xFE" + text::to_utf16le(c.input))});
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(c.output, result.out);
  }
}

TEST_F(ToolJson, CraftedDeepNestingIsReadUpToTheBound) {
  const auto result = tool({"json", "--process", file("deep.json", std::string(200000, '[') + std::string(200000, ']'))});
  EXPECT_EQ(0, result.status);
  // The document's braces are the first of the 512 levels that are read.
  EXPECT_EQ("[\r\n    [\r\n", result.out.substr(0, 10));
  EXPECT_EQ(512, std::count(result.out.begin(), result.out.end(), '['));
  EXPECT_EQ(512, std::count(result.out.begin(), result.out.end(), ']'));
}

TEST_F(ToolJson, NoDataAndBadArgumentsExitWithTwo) {
  const std::vector<std::vector<std::string>> bad = {
      {"json", "--process", native_dir() + "/missing.json"},
      {"json", "--process", file("empty.json", "")},
      {"json", "--process"},
      {"json", "--process", "--bogus", file("a.json", "{}")},
      {"json", "--process", file("b.json", "{}"), file("c.json", "{}")},
      {"json"},
  };
  for (const auto& args : bad) {
    const auto result = tool(args);
    EXPECT_EQ(2, result.status) << args.back();
    EXPECT_EQ("", result.out) << args.back();
    EXPECT_EQ(1, std::count(result.err.begin(), result.err.end(), '\n')) << result.err;
  }
}
