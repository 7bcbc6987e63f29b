// The device road on the simulated machine: from plugging a device to the verdict at the driver,
// for a device that a rule allows (1,000 configuration rules, the allowing one last, no question to
// the user), one device and a burst of 50 behind a hub (hubs accepted, so the hub passes without a
// request). The plug is `vostusb-sim plug --wait` run in this process: the device goes into the
// machine's hardware file, the machine's kernel offers it to its VostUsb driver, and the driver's
// request reaches this process's user test, whose test function answers.
//
// In the same run, the bare round trip: the same requests with a test function that accepts at
// once; and the bare cost of the files an allowed decision writes (the accept folder's document and
// sighting line): the same bytes written to the same files with std::ofstream. Each repetition is
// one plug, so the repetitions' median and 99th percentile are those of single plugs. The summary
// at the end gives the decision's own share (plug to verdict less the bare round trip) against the
// bare file cost.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "config/settings.h"
#include "decision/decision.h"
#include "decision/device_record.h"
#include "library/manager.h"
#include "file_bytes.h"
#include "own_machine.h"
#include "platform/sim/machine_link.h"
#include "text/format.h"
#include "text/utf.h"
#include "vostusb-sim/commands.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRules = 1000;
constexpr int kBurst = 50;
constexpr const char* kPort = "1-3";

std::u16string product_path(const std::string& native) {
  std::u16string path = u"Z:" + text::from_utf8(native);
  std::replace(path.begin(), path.end(), u'/', u'\\');
  return path;
}

fs::path sim_root() { return fs::path(std::getenv("VOSTUSB_SIM_ROOT")); }

// What a command printed on standard output.
template <typename Command>
std::string output_of(Command command) {
  char* buffer = nullptr;
  std::size_t size = 0;
  FILE* captured = open_memstream(&buffer, &size);
  FILE* const saved = stdout;
  stdout = captured;
  command();
  stdout = saved;
  std::fclose(captured);
  std::string out(buffer, size);
  std::free(buffer);
  return out;
}

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

// The samples of every benchmark, by name, in seconds; for the summary.
std::map<std::string, std::vector<double>>& samples() {
  static std::map<std::string, std::vector<double>> all;
  return all;
}

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto rank = static_cast<std::size_t>(p / 100.0 * static_cast<double>(values.size()) + 0.5);
  return values[std::clamp<std::size_t>(rank == 0 ? 0 : rank - 1, 0, values.size() - 1)];
}

// The guard's side of the road: the driver installed, started and asking this process.
class Road {
 public:
  static Road& get() {
    static Road road;
    return road;
  }

  bool ready() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  void set_deciding(bool on) { deciding_ = on; }
  // Microseconds spent in vostusb_decision since the last call.
  double take_decision_seconds() { return decision_ns_.exchange(0) / 1e9; }

  // Plugs `fixture` and waits for every verdict; the time from plug to the last verdict, or a
  // negative value when the verdicts are not the expected ones.
  double plug(const std::string& fixture, std::size_t devices) {
    std::string out;
    const auto began = Clock::now();
    out = output_of([&] { sim_cli::cmd_plug({"--wait", kPort, fixture}); });
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    output_of([] { sim_cli::cmd_unplug({kPort}); });
    if (count_of(out, " admitted answer\n") != devices) {
      last_output_ = out;
      return -1;
    }
    return seconds;
  }
  const std::string& last_output() const { return last_output_; }

  std::string mouse_fixture() const { return mouse_; }
  std::string burst_fixture() const { return burst_; }
  std::string device_text() const {
    std::lock_guard guard(lock_);
    return text::to_utf8(last_request_);
  }
  std::u16string request() const {
    std::lock_guard guard(lock_);
    return last_request_;
  }

  void shut_down() {
    std::u16string ignored;
    manager_.UserTest_off(ignored);
    manager_.Stop(10, ignored, nullptr, nullptr);
    manager_.Uninstall(0, ignored, nullptr, nullptr);
    os::sim::machine::shutdown_daemon();
  }

 private:
  Road() {
    const fs::path folder = sim_root() / "bench";
    fs::create_directories(folder);
    mouse_ = (folder / "mouse.json").string();
    std::ofstream(mouse_) << "{\"file\": \"" VOSTUSB_DEVICE_FIXTURES "/mouse.json\"}";
    burst_ = (folder / "burst.json").string();
    std::string hub = R"({"vendor_id": 1, "product_id": 2, "class": 9, "hub": {"ports": )" + std::to_string(kBurst) +
                      R"(, "devices": {)";
    for (int port = 1; port <= kBurst; ++port) {
      hub += (port > 1 ? ", \"" : "\"") + std::to_string(port) + "\": {\"file\": \"" VOSTUSB_DEVICE_FIXTURES "/mouse.json\"}";
    }
    std::ofstream(burst_) << hub << "}}}";

    std::u16string status;
    const std::u16string config = product_path((folder / "config.json").string());
    const std::u16string admittances = product_path((folder / "adm").string());
    std::uint32_t r = manager_.Install(10, product_path(VOSTUSB_DRIVER_IMAGE).c_str(), config.c_str(), admittances.c_str(),
                                       SERVICE_DEMAND_START, nullptr, nullptr, nullptr, status, true, nullptr, nullptr);
    if (r == 0) r = manager_.Start(10, status, nullptr, nullptr);
    if (r == 0) r = manager_.SetHubsAccept(true, VostUsbWardenManager::ConfigDriverOnly, status);
    if (r == 0) r = manager_.UserTest_on(&Road::test_device, 120LL * 10000000, this, true, status);
    if (r != 0) error_ = "the driver did not come up: " + std::to_string(r) + " " + text::to_utf8(status);
  }

  static bool test_device(const char16_t* request, void* context) {
    auto* road = static_cast<Road*>(context);
    if (!road->deciding_) {
      std::lock_guard guard(road->lock_);
      road->last_request_ = request;
      return true;
    }
    const auto began = Clock::now();
    const bool allowed = vostusb_decision(request) != 0;
    road->decision_ns_ += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - began).count();
    return allowed;
  }

  VostUsbWardenManager::Manager manager_{u"VostUsb", u"VostUsb", u"\\\\.\\VostUsb"};
  std::string error_;
  std::string mouse_;
  std::string burst_;
  std::string last_output_;
  std::atomic<bool> deciding_{false};
  std::atomic<long long> decision_ns_{0};
  mutable std::mutex lock_;
  std::u16string last_request_;
};

// A rule that looks like a real one but names another device.
CUsbRule other_device(int i) {
  return CUsbRule{u"=USB Optical Mouse", u"=PixArt", text::format(u"=SERIAL%08i", i), u"=HIDClass", u"=HID mouse", 1};
}

// The device's own texts as exact patterns.
CUsbRule allowing(const CUsbRule& device) {
  CUsbRule rule = device;
  for (std::u16string* field : {&rule.produkt, &rule.producent, &rule.numer, &rule.klasa, &rule.opis}) {
    if (!field->empty()) *field = u"=" + *field;
  }
  rule.action = 1;
  return rule;
}

// Rules that do not match, then the one that allows the device; undecided devices are blocked,
// so an admitted device shows that its rule decided.
void load_rules(const std::u16string& request) {
  std::lock_guard<std::recursive_mutex> lock(config_lock);
  active = 1;
  action = 0;
  report_on_allow = 0;
  config_rules.clear();
  for (int i = 0; i < kRules - 1; ++i) config_rules.push_back(other_device(i));
  config_rules.push_back(allowing(build_device_record(request, u"").description));
}

void plug_benchmark(benchmark::State& state, const char* name, bool deciding, bool burst) {
  Road& road = Road::get();
  if (!road.ready()) {
    state.SkipWithError(road.error().c_str());
    return;
  }
  const std::string fixture = burst ? road.burst_fixture() : road.mouse_fixture();
  const std::size_t devices = burst ? kBurst : 1;
  if (road.request().empty()) road.plug(road.mouse_fixture(), 1);  // learns the device's request text
  load_rules(road.request());
  road.set_deciding(deciding);
  road.take_decision_seconds();
  for (auto _ : state) {
    const double seconds = road.plug(fixture, devices);
    if (seconds < 0) {
      state.SkipWithError(("not every device was admitted by its answer: " + road.last_output()).c_str());
      break;
    }
    state.SetIterationTime(seconds);
    samples()[name].push_back(seconds);
  }
  road.set_deciding(false);
  state.counters["devices"] = static_cast<double>(devices);
  state.counters["decision_us"] =
      benchmark::Counter(road.take_decision_seconds() * 1e6 / static_cast<double>(devices), benchmark::Counter::kAvgIterations);
}

void BM_RoundTripBare(benchmark::State& state) { plug_benchmark(state, "BM_RoundTripBare", false, false); }
void BM_RoundTripDecided(benchmark::State& state) { plug_benchmark(state, "BM_RoundTripDecided", true, false); }
void BM_BurstBare(benchmark::State& state) { plug_benchmark(state, "BM_BurstBare", false, true); }
void BM_BurstDecided(benchmark::State& state) { plug_benchmark(state, "BM_BurstDecided", true, true); }

// The files of an allowed decision, written again with the bytes the decision wrote: the document
// replaced, the sighting appended.
void BM_FilesBare(benchmark::State& state) {
  Road& road = Road::get();
  if (road.request().empty()) {
    state.SkipWithError("no request seen yet: run the road benchmarks first");
    return;
  }
  const fs::path accept = sim_root() / "drive_c" / "ProgramData" / "kavenor" / "vostusb" / "accept";
  const std::string checksum = text::to_utf8(build_device_record(road.request(), u"").checksum);
  const fs::path document_file = accept / (checksum + ".json");
  const fs::path sighting_file = accept / (checksum + ".txt");
  const std::string document = file_bytes(document_file);
  const std::string all_sightings = file_bytes(sighting_file);
  const std::string sighting = all_sightings.substr(all_sightings.rfind('\n', all_sightings.size() - 2) + 1);
  if (document.empty() || sighting.empty()) {
    state.SkipWithError("the decisions wrote no files to compare with");
    return;
  }
  for (auto _ : state) {
    const auto began = Clock::now();
    std::ofstream(document_file, std::ios::binary | std::ios::trunc).write(document.data(), document.size());
    std::ofstream(sighting_file, std::ios::binary | std::ios::app).write(sighting.data(), sighting.size());
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    state.SetIterationTime(seconds);
    samples()["BM_FilesBare"].push_back(seconds);
  }
  state.counters["bytes"] = static_cast<double>(document.size() + sighting.size());
}

double p99(const std::vector<double>& v) { return percentile(v, 99); }

void single_plugs(benchmark::internal::Benchmark* b, int repetitions) {
  b->UseManualTime()->Iterations(1)->Repetitions(repetitions)->ReportAggregatesOnly(true)->ComputeStatistics("p99", p99)
      ->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_RoundTripBare)->Apply([](auto* b) { single_plugs(b, 100); });
BENCHMARK(BM_RoundTripDecided)->Apply([](auto* b) { single_plugs(b, 100); });
BENCHMARK(BM_BurstBare)->Apply([](auto* b) { single_plugs(b, 20); });
BENCHMARK(BM_BurstDecided)->Apply([](auto* b) { single_plugs(b, 20); });
BENCHMARK(BM_FilesBare)->Apply([](auto* b) { single_plugs(b, 1000); });

// Median and 99th percentile of each, and the decision's share against the bare file cost.
void print_summary() {
  auto median = [](const char* name) { return percentile(samples()[name], 50) * 1e6; };
  auto high = [](const char* name) { return percentile(samples()[name], 99) * 1e6; };
  std::printf("\nsingle plugs, microseconds    median      p99\n");
  for (const char* name : {"BM_RoundTripBare", "BM_RoundTripDecided", "BM_BurstBare", "BM_BurstDecided", "BM_FilesBare"}) {
    if (samples()[name].empty()) continue;
    std::printf("  %-26s %9.0f %9.0f\n", name, median(name), high(name));
  }
  const double files = median("BM_FilesBare");
  if (files <= 0) return;
  const double share = median("BM_RoundTripDecided") - median("BM_RoundTripBare");
  const double burst_share = (median("BM_BurstDecided") - median("BM_BurstBare")) / kBurst;
  std::printf("decision's own share, one device: %.0f us = %.1f x the bare file cost (%.0f us)\n", share,
              share / files, files);
  if (burst_share > 0) {
    std::printf("decision's own share per device in a burst of %d: %.0f us = %.1f x the bare file cost\n", kBurst,
                burst_share, burst_share / files);
  } else {
    // The kernel offers the burst's devices at once and records each verdict in the hardware file;
    // that work, not the decisions, sets the burst's pace, and the decisions run alongside it.
    std::printf("a burst of %d is no slower with decisions than without (%.0f us per device less)\n", kBurst, -burst_share);
  }
}

}  // namespace

int main(int argc, char** argv) {
  unsetenv("ALLUSERSPROFILE");
  return run_benchmarks_on_own_machine(argc, argv, "device-road", [] {
    print_summary();
    Road::get().shut_down();
  });
}
