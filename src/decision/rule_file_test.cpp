// "/test:<path>": which entries of a rule file (for example a device list) the current
// configuration would not allow. They are written, as they stand in the input, to the same path
// followed by ".blocked.json" (UTF-8).
#include "decision/rule_file_test.h"

#include <string>

#include "config/read_config.h"
#include "config/usb_rule.h"
#include "decision/data_text.h"
#include "decision/json_copy.h"
#include "decision/rule_matching.h"
#include "json/json_node.h"
#include "process/paths.h"

namespace {

// The device that an entry describes: its five texts with one leading "=" dropped, so that exact
// patterns read as device texts. A malformed entry describes a device with five empty texts.
CUsbRule device_of(CJsonNode& entry) {
  CUsbRule device;
  if (entry.children().size() == 2) rule_from_pair(entry, device);
  for (std::u16string* text : {&device.produkt, &device.producent, &device.numer, &device.klasa, &device.opis}) {
    if (!text->empty() && text->front() == u'=') text->erase(0, 1);
  }
  return device;
}

}  // namespace

void test_rule_file(const std::u16string& path) {
  read_config();
  // Device lists written for other programs are UTF-8; read as ANSI text, every non-ASCII device
  // text would be garbled, match no exact pattern, and come out changed.
  std::u16string text;
  if (!read_data_text(path, text)) return;
  CJsonNode input;
  input.parse(text);

  CJsonNode output;
  for (auto& [key, entry] : input[u"rules"].children()) {
    if (evaluate_rules(device_of(entry), false) != kAllow) append_copy(output[u"rules"], entry);
  }
  paths::write_utf8_file(path + u".blocked.json", output.serialise(0));
}
