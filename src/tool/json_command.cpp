// vostrelusb-tool json: a document as the guard reads and writes it.
#include <string>

#include "config/data_file.h"
#include "json/json_node.h"
#include "text/utf.h"
#include "tool/commands.h"
#include "tool/tool_io.h"

namespace tool {

namespace {

constexpr const char* kUsage = "usage: json --process [--wide-numbers] FILE | json --library FILE";

// The file read as the process reads its data files, parsed into a fresh document and written back
// in the process's layout (UTF-8, CR LF, no final line end). 0 when the parse returned 1, 1 when it
// returned 0 (the document is written all the same), 2 when the file yields no data.
int process_json(const Args& args) {
  bool wide_numbers = false;
  const std::string* file = nullptr;
  for (const std::string& arg : args) {
    if (arg == "--wide-numbers") wide_numbers = true;
    else if (!file && !arg.starts_with("--")) file = &arg;
    else return fail(2, kUsage);
  }
  if (!file) return fail(2, kUsage);
  CDataFile data;
  if (!data.read(product_path(*file))) return fail(2, "no data in " + *file + " (missing, unreadable or empty)");
  CJsonNode doc;
  doc.set_wide_numbers(wide_numbers);
  const int parsed = doc.parse(data.text());
  write_stdout(text::to_utf8(doc.serialise(0)));
  return parsed == 1 ? 0 : 1;
}

}  // namespace

int cmd_json(const Args& args) {
  const Args rest(args.empty() ? args.end() : args.begin() + 1, args.end());
  if (!args.empty() && args[0] == "--process") return process_json(rest);
  if (!args.empty() && args[0] == "--library") {
    if (rest.size() != 1 || rest[0].starts_with("--")) return fail(2, kUsage);
    return json_library(rest[0]);
  }
  return fail(2, kUsage);
}

}  // namespace tool
