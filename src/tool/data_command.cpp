#include <fstream>
#include <iterator>

#include "config/data_file.h"
#include "config/scramble.h"
#include "text/utf.h"
#include "tool/commands.h"
#include "tool/tool_io.h"

namespace tool {

int cmd_data(const Args& args) {
  if (args.size() != 1) return fail(2, "usage: data FILE");
  CDataFile file;
  if (!file.read(product_path(args[0]))) return fail(2, "no data in " + args[0] + " (missing, unreadable or empty)");
  write_stdout(text::to_utf8(file.text()));
  return 0;
}

int cmd_scramble(const Args& args) {
  if (args.size() != 2) return fail(2, "usage: scramble IN OUT");
  // The tool's own input and output are ordinary files of the machine it runs on.
  std::ifstream in(args[0], std::ios::binary);
  if (!in) return fail(2, "cannot read " + args[0]);
  const std::string plain((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::ofstream out(args[1], std::ios::binary | std::ios::trunc);
  const std::string scrambled = scramble::scramble_file(plain);
  out.write(scrambled.data(), static_cast<std::streamsize>(scrambled.size()));
  out.close();
  if (!out) return fail(2, "cannot write " + args[1]);
  return 0;
}

}  // namespace tool
