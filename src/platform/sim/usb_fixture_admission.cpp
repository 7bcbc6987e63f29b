// The members of a device fixture about its filter driver: "admission" and "request".
#include <algorithm>
#include <iterator>

#include "platform/sim/usb_fixture_detail.h"

namespace os::sim::usb::detail {

namespace {

constexpr const char* kStates[] = {"admitted", "blocked", "waiting"};
constexpr std::size_t kMostRequestBytes = 64u << 20;

std::string text_member(const json& j, const char* name, const std::string& where) {
  if (!j[name].is_string()) fail(where + "." + name, "expected a string");
  return j[name].get<std::string>();
}

bool flag_member(const json& j, const char* name, const std::string& where) {
  if (!j[name].is_boolean()) fail(where + "." + name, "expected true or false");
  return j[name].get<bool>();
}

}  // namespace

void read_admission(const json& device_json, Device& into, const std::string& where) {
  if (device_json.contains("admission")) {
    const json& a = device_json["admission"];
    const std::string at = where + ".admission";
    if (!a.is_object()) fail(at, "expected an object");
    for (const auto& item : a.items()) {
      if (item.key() != "state" && item.key() != "by") fail(at, "unknown member \"" + item.key() + "\"");
    }
    if (a.contains("state")) into.admission.state = text_member(a, "state", at);
    if (std::find(std::begin(kStates), std::end(kStates), into.admission.state) == std::end(kStates)) {
      fail(at + ".state", "expected \"admitted\", \"blocked\" or \"waiting\"");
    }
    if (a.contains("by")) into.admission.by = text_member(a, "by", at);
  }
  if (device_json.contains("request")) {
    const json& r = device_json["request"];
    const std::string at = where + ".request";
    if (!r.is_object()) fail(at, "expected an object");
    for (const auto& item : r.items()) {
      const std::string& k = item.key();
      if (k != "text" && k != "repeat" && k != "nul" && k != "size" && k != "void") fail(at, "unknown member \"" + k + "\"");
    }
    RequestFixture& request = into.request;
    request.given = true;
    if (r.contains("text")) request.text = text_member(r, "text", at);
    if (r.contains("repeat")) request.repeat = parse_number(r["repeat"], 0xFFFFFFFFu, at + ".repeat");
    if (request.repeat != 0 && request.text.size() * request.repeat > kMostRequestBytes) {
      fail(at + ".repeat", "the text would be larger than 64 MiB");
    }
    if (r.contains("nul")) request.nul = flag_member(r, "nul", at);
    if (r.contains("size")) request.size = parse_number(r["size"], 0xFFFFFFFFu, at + ".size");
    if (r.contains("void")) request.is_void = flag_member(r, "void", at);
  }
}

void write_admission(nlohmann::ordered_json& device_json, const Device& device) {
  device_json["admission"] = {{"state", device.admission.state}, {"by", device.admission.by}};
  if (!device.request.given) return;
  nlohmann::ordered_json r;
  r["text"] = device.request.text;
  r["repeat"] = device.request.repeat;
  r["nul"] = device.request.nul;
  if (device.request.size >= 0) r["size"] = device.request.size;
  r["void"] = device.request.is_void;
  device_json["request"] = r;
}

}  // namespace os::sim::usb::detail
