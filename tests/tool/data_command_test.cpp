#include <gtest/gtest.h>

#include "config/scramble.h"
#include "support/run_command.h"
#include "support/sim_root.h"
#include "text/utf.h"

class ToolData : public testing_support::FreshHost {
 protected:
  testing_support::CommandResult tool(const std::vector<std::string>& args) {
    return testing_support::run_built("vostrelusb-tool", args, native_dir());
  }
  std::string path(const std::string& name) const { return native_dir() + "/" + name; }
};

TEST_F(ToolData, ScrambledAndPlainGiveTheSameText) {
  const std::string plain = "\xFF\xFE" + text::to_utf16le(u"{\"rules\":[\"Łódź\"]}");
  testing_support::write_native_file(path("plain.json"), plain);
  ASSERT_EQ(0, tool({"scramble", path("plain.json"), path("u_io.bin")}).status);
  EXPECT_EQ(scramble::scramble_file(plain), testing_support::read_native_file(path("u_io.bin")));
  const auto from_plain = tool({"data", path("plain.json")});
  const auto from_scrambled = tool({"data", path("u_io.bin")});
  EXPECT_EQ(0, from_plain.status);
  EXPECT_EQ(0, from_scrambled.status);
  EXPECT_EQ("{\"rules\":[\"\xC5\x81\xC3\xB3" "d\xC5\xBA\"]}", from_plain.out);
  EXPECT_EQ(from_plain.out, from_scrambled.out);
}

TEST_F(ToolData, BadInputIsAOneLineError) {
  testing_support::write_native_file(path("empty"), "");
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"data", path("missing")}, {"data", path("empty")}, {"data"}, {"scramble", path("missing"), path("x")}}) {
    const auto result = tool(args);
    EXPECT_NE(0, result.status);
    EXPECT_EQ("", result.out);
    EXPECT_EQ(1, std::count(result.err.begin(), result.err.end(), '\n')) << result.err;
  }
  EXPECT_NE(0, tool({"no-such-command"}).status);
  EXPECT_EQ(0, tool({"--help"}).status);
}
