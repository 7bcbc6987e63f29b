#include "vostusb_driver.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "library/driver_interface.h"
#include "platform/sim/machine_link.h"
#include "text/utf.h"

namespace machined {

namespace driver = VostUsbWardenManager::driver;

namespace {

constexpr std::size_t kMaxAcceptedNames = 64;

template <class Record>
Record read_record(const std::string& in) {
  Record record;
  std::memcpy(&record, in.data(), sizeof record);
  return record;
}

template <class Record>
std::string bytes_of(const Record& record) {
  return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

std::string shown(const std::u16string& text) { return text.empty() ? "(none)" : text::to_utf8(text); }

std::string on_off(bool on) { return on ? "on" : "off"; }

}  // namespace

void VostUsbDriver::load(const std::u16string& service, const std::u16string& config_path,
                         const std::u16string& admittances_path) {
  loaded_ = true;
  service_ = service;
  config_path_ = config_path;
  admittances_path_ = admittances_path;
  config_ = read_config_settings(config_path);
  admittances_ = read_admittance_settings(admittances_path);
  admitted_without_asking_ = 0;
  hubs_accepted_ = config_.hubs_always_accepted;
  files_and_cache_mode_ = config_.files_and_cache_mode;
  accepted_names_.clear();
  accepted_types_.clear();
}

void VostUsbDriver::unload() {
  end_test();
  loaded_ = false;
  service_.clear();
}

std::uint64_t VostUsbDriver::open_handle() {
  const std::uint64_t token = next_token_++;
  handles_[token] = -1;
  return token;
}

void VostUsbDriver::close_handle(std::uint64_t token) {
  // The handle's clean-up: a user test it started ends, as when the guard's process goes.
  if (test_on_ && test_owner_ == token) end_test();
  handles_.erase(token);
  changed_.notify_all();
}

void VostUsbDriver::attach_signals(std::uint64_t token, int fd) {
  const auto it = handles_.find(token);
  if (it != handles_.end()) it->second = fd;
}

void VostUsbDriver::end_test() {
  test_on_ = false;
  test_owner_ = 0;
  for (const auto& request : pending_) {
    request->verdict = default_verdict();
    request->by = "test ended";
  }
  pending_.clear();
  changed_.notify_all();
}

std::uint32_t VostUsbDriver::Request::size() const {
  if (offer.request_size) return *offer.request_size;
  return static_cast<std::uint32_t>(driver::kRequestTextOffset + bytes().size());
}

std::string VostUsbDriver::Request::bytes() const {
  return text::to_utf16le(offer.text) + (offer.request_nul ? std::string(2, '\0') : std::string());
}

void VostUsbDriver::signal_waiting() {
  if (!test_on_ || pending_.empty()) return;
  const auto it = handles_.find(test_owner_);
  if (it == handles_.end() || it->second < 0) return;
  os::sim::machine::send_message(it->second, {"signal", os::sim::machine::number(event_)});
}

std::shared_ptr<VostUsbDriver::Request> VostUsbDriver::find_pending(std::uint64_t id) const {
  const auto it = std::find_if(pending_.begin(), pending_.end(), [id](const auto& r) { return r->id == id; });
  return it == pending_.end() ? nullptr : *it;
}

void VostUsbDriver::settle(const std::shared_ptr<Request>& request, Verdict verdict, const char* by) {
  request->verdict = verdict;
  request->by = by;
  pending_.erase(std::remove(pending_.begin(), pending_.end(), request), pending_.end());
  changed_.notify_all();
}

DWORD VostUsbDriver::control(std::uint64_t token, DWORD code, const std::string& in, DWORD out_size, std::string& out) {
  out.clear();
  const auto takes_no_input = [&] { return in.empty() ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER; };
  switch (code) {
    case driver::kClearAcceptedNameList:
      if (!in.empty()) return ERROR_INVALID_PARAMETER;
      accepted_names_.clear();
      return ERROR_SUCCESS;
    case driver::kClearAcceptedTypeList:
      if (!in.empty()) return ERROR_INVALID_PARAMETER;
      accepted_types_.clear();
      return ERROR_SUCCESS;
    case driver::kUserTestOn: {
      if (in.size() != sizeof(driver::StartRecord)) return ERROR_INVALID_PARAMETER;
      const auto record = read_record<driver::StartRecord>(in);
      if (record.answer_timeout < 0) return ERROR_INVALID_PARAMETER;
      if (test_on_ && test_owner_ != token) end_test();  // the newest guard takes over
      test_on_ = true;
      test_owner_ = token;
      event_ = record.event_handle;
      answer_timeout_ = record.timeout_is_zero ? 0 : record.answer_timeout;
      default_accepted_ = record.default_accepted != 0;
      return ERROR_SUCCESS;
    }
    case driver::kUserTestOff:
    case driver::kStopNotifying:
      if (!in.empty()) return ERROR_INVALID_PARAMETER;
      if (test_on_ && test_owner_ == token) end_test();
      return ERROR_SUCCESS;
    case driver::kPeekRequest: {
      if (!in.empty()) return ERROR_INVALID_PARAMETER;
      if (out_size < sizeof(driver::RequestHeader)) return ERROR_INSUFFICIENT_BUFFER;
      driver::RequestHeader header{};
      if (pending_.empty()) {
        header.nothing_pending = 1;
      } else {
        header.identifier = pending_.front()->id;
        header.size = pending_.front()->size();
      }
      out = bytes_of(header);
      return ERROR_SUCCESS;
    }
    case driver::kFetchRequest: {
      if (in.size() < sizeof(driver::RequestPrefix)) return ERROR_INVALID_PARAMETER;
      auto prefix = read_record<driver::RequestPrefix>(in);
      const auto request = find_pending(prefix.identifier);
      // Answered, timed out or never known: void. A request a fixture made void is withdrawn.
      const bool is_void = !request || request->offer.request_void;
      const std::size_t size = is_void ? driver::kRequestTextOffset : request->size();
      if (out_size < size) return ERROR_INSUFFICIENT_BUFFER;
      prefix.is_void = is_void ? 1 : 0;
      out = bytes_of(prefix);
      if (!is_void) out = (out + request->bytes()).substr(0, size);
      if (request && is_void) {
        settle(request, default_verdict(), "void request");
        signal_waiting();
      }
      return ERROR_SUCCESS;
    }
    case driver::kAnswerRequest: {
      if (in.size() != sizeof(driver::Answer)) return ERROR_INVALID_PARAMETER;
      const auto answer = read_record<driver::Answer>(in);
      // A late answer (after the time-out) is ignored, as the request is gone.
      if (const auto request = find_pending(answer.identifier)) {
        settle(request, answer.refused ? Verdict::Refused : Verdict::Accepted, "answer");
        signal_waiting();  // the guard peeks once per wake-up: wake it for the next one
      }
      return ERROR_SUCCESS;
    }
    case driver::kSetFilesAndCacheMode: {
      if (in.size() != driver::kFilesAndCacheModeSize) return ERROR_INVALID_PARAMETER;
      DWORD mode = 0;
      std::memcpy(&mode, in.data(), sizeof mode);
      if (mode > 3) return ERROR_INVALID_PARAMETER;
      files_and_cache_mode_ = mode;
      return ERROR_SUCCESS;
    }
    case driver::kHubsAcceptOn:
    case driver::kHubsAcceptOff:
      if (takes_no_input() != ERROR_SUCCESS) return ERROR_INVALID_PARAMETER;
      hubs_accepted_ = code == driver::kHubsAcceptOn;
      return ERROR_SUCCESS;
    default:
      return ERROR_INVALID_FUNCTION;  // STATUS_INVALID_DEVICE_REQUEST
  }
}

Admission VostUsbDriver::admit(const DeviceOffer& offer, Lock& lock, const std::function<void()>& queued) {
  if (!loaded_) return {Verdict::Accepted, "no driver"};  // no filter: the device works
  if (offer.is_hub && hubs_accepted_) {
    if (std::find(accepted_types_.begin(), accepted_types_.end(), "hub") == accepted_types_.end()) {
      accepted_types_.push_back("hub");
    }
    return {Verdict::Accepted, "hub"};
  }
  if (!config_.filter) return {Verdict::Accepted, "filter off"};
  if (const auto identity = identity_of(offer.text); identity && is_admitted(admittances_.admitted, *identity)) {
    ++admitted_without_asking_;
    return {Verdict::Accepted, "admittance"};
  }
  if (!test_on_) return {Verdict::Accepted, "user test off"};
  auto request = std::make_shared<Request>();
  request->id = next_request_++;
  request->offer = offer;
  pending_.push_back(request);
  if (pending_.size() == 1) signal_waiting();
  if (queued) queued();
  const bool timed = answer_timeout_ > 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(answer_timeout_ / 10);
  while (!request->verdict) {
    if (!timed) {
      changed_.wait(lock);
    } else if (changed_.wait_until(lock, deadline) == std::cv_status::timeout && !request->verdict) {
      settle(request, default_verdict(), "time-out default");
      signal_waiting();  // the guard may be waiting for the next one
    }
  }
  if (*request->verdict == Verdict::Accepted && accepted_names_.size() < kMaxAcceptedNames) {
    accepted_names_.push_back(text::to_utf8(offer.text));
  }
  return {*request->verdict, request->by};
}

std::size_t VostUsbDriver::withdraw(const std::string& port) {
  std::vector<std::shared_ptr<Request>> gone;
  for (const auto& request : pending_) {
    const std::string& at = request->offer.port;
    if (!at.empty() && (at == port || at.rfind(port + ".", 0) == 0)) gone.push_back(request);
  }
  for (const auto& request : gone) settle(request, default_verdict(), "unplugged");
  if (!gone.empty()) signal_waiting();
  return gone.size();
}

std::vector<std::string> VostUsbDriver::describe() const {
  std::vector<std::string> lines;
  if (!loaded_) return {"driver: not loaded"};
  lines.push_back("driver: VostUsb, service " + text::to_utf8(service_));
  lines.push_back("open handles: " + std::to_string(handles_.size()));
  if (test_on_) {
    const std::string timeout =
        answer_timeout_ ? std::to_string(answer_timeout_ / 10000) + " ms" : std::string("none");
    lines.push_back("user test: on (answer time-out " + timeout + ", default " +
                    (default_accepted_ ? "accepted" : "refused") + ")");
  } else {
    lines.push_back("user test: off");
  }
  lines.push_back("pending requests: " + std::to_string(pending_.size()));
  for (const auto& request : pending_) {
    lines.push_back("  request " + std::to_string(request->id) + ": " +
                    (request->offer.port.empty() ? std::string("offered directly") : "device at " + request->offer.port));
  }
  lines.push_back(std::string("hubs accepted: ") + (hubs_accepted_ ? "yes" : "no"));
  lines.push_back("files and cache mode: " + std::to_string(files_and_cache_mode_));
  lines.push_back("configuration file: " + shown(config_path_));
  lines.push_back("configuration: " + config_.outcome + " (filter " + on_off(config_.filter) + ", capture " +
                  on_off(config_.capture) + ", notify handle " + on_off(config_.notify_handle) + ")");
  lines.push_back("admittances folder: " + shown(admittances_path_));
  lines.push_back("admittances: " + admittances_.outcome + " (" + std::to_string(admittances_.files_read) +
                  " files, " + std::to_string(admittances_.files_skipped) + " skipped)");
  for (const auto& [record, unused] : admittances_.admitted.list) {
    std::string line = "  " + text::to_utf8(record.GetCanonName());
    line += record.hasSerial ? " serial \"" + text::to_utf8(record.SerialNumber) + "\"" : " any serial";
    lines.push_back(line + (record.CacheUse ? ", cache" : ", no cache"));
  }
  lines.push_back("admitted without asking: " + std::to_string(admitted_without_asking_));
  lines.push_back("accepted names: " + std::to_string(accepted_names_.size()));
  for (const std::string& name : accepted_names_) lines.push_back("  " + name);
  std::string types = "accepted types:";
  for (const std::string& type : accepted_types_) types += " " + type;
  if (accepted_types_.empty()) types += " (none)";
  lines.push_back(types);
  return lines;
}

}  // namespace machined
