// The configuration document that the monitor stand-in keeps: read from its file at start, handed
// out on "get_config", extended by "usb_device_add_rule" and then saved while the suite's loading
// mutex is held, as the real monitor does.
#pragma once

#include <string>
#include <string_view>

#include "json/json_node.h"

class MonitorConfig {
 public:
  // Reads `path`; when it yields no configuration, the installation copy; when that yields none
  // either, a built-in default (guard on, asking, every built-in list on, no rules of its own).
  // Returns where the document came from, for the console.
  std::u16string load(const std::u16string& path);

  // The document as the answer to "get_config".
  std::u16string text() const { return document.serialise(0); }

  // Takes "usb_device_add_rule" + verdict digits + ":" + the device document. Appends the pair
  // (the device document with its label and patterns, the verdict) to "usb" -> "rules" and saves.
  // False when the message is not such a message or its document is not an object; then nothing
  // changes.
  bool add_rule(std::u16string_view message);

  // Writes the document (UTF-16LE, no byte-order mark) while holding the loading mutex.
  bool save() const;

  const std::u16string& file() const { return path; }

 private:
  CJsonNode& rules();

  std::u16string path;
  CJsonNode document;
};

inline constexpr std::u16string_view kAddRule = u"usb_device_add_rule";
