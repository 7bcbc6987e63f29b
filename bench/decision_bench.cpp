// The device decision's cost.
//
// evaluate_rules over 10, 1,000 and 100,000 configuration rules that all fail to match (the worst
// case: every rule is tried), with a complexity fit: the cost must grow linearly with the rules.
//
// One whole vostusb_decision without asking (a device that no rule decides, blocked by "action"):
// the record with its checksum and the logged-on users, the accept folder's two files, the report
// with its counter in the registry, the blocked notice started in the background. Next to it, the
// reference: writing the same three files' bytes with plain std::ofstream writes, in the same run.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>

#include "config/settings.h"
#include "decision/decision.h"
#include "decision/device_record.h"
#include "decision/rule_matching.h"
#include "file_bytes.h"
#include "own_machine.h"
#include "process/processes.h"
#include "text/format.h"
#include "text/utf.h"

namespace {

namespace fs = std::filesystem;

const std::u16string kDeviceText =
    uR"({"DeviceDescriptor":{"Manufacturer":"Kingston","Product":"DataTraveler 3.0","SerialNumber":"60A44C413AB2F0B0A9A0005B",)"
    uR"("idProduct":5703,"idVendor":2385},"DeviceProperty":{"BusNumber":0,"BusTypeGuid":{"Data1":2.64228E+009,)"
    uR"("Data2":51293,"Data3":4561,"Data4":[158,180,0,96,8,195,161,154]},"ClassName":"USB",)"
    uR"("DeviceDescription":"USB Mass Storage Device"},"DriveLetters":"E","IsHub":false,"PortNumberOfBus":2})";

// A rule that looks like a real one (exact patterns on every text) but names another device.
CUsbRule other_device(int i) {
  return CUsbRule{u"=DataTraveler 3.0", u"=Kingston", text::format(u"=SERIAL%08i", i), u"=USB",
                  u"=USB Mass Storage Device", 1};
}

void BM_EvaluateRules(benchmark::State& state) {
  const DeviceRecord device = build_device_record(kDeviceText, u"");
  {
    std::lock_guard<std::recursive_mutex> lock(config_lock);
    config_rules.clear();
    for (int i = 0; i < state.range(0); ++i) config_rules.push_back(other_device(i));
  }
  for (auto _ : state) {
    std::lock_guard<std::recursive_mutex> lock(config_lock);
    benchmark::DoNotOptimize(evaluate_rules(device.description, false));
  }
  state.SetComplexityN(state.range(0));
  state.SetItemsProcessed(state.iterations() * state.range(0));
  std::lock_guard<std::recursive_mutex> lock(config_lock);
  config_rules.clear();
}
BENCHMARK(BM_EvaluateRules)->Arg(10)->Arg(1000)->Arg(100000)->Complexity(benchmark::oN);

// The data folder of the simulated machine, natively.
fs::path data_folder() { return fs::path(std::getenv("VOSTUSB_SIM_ROOT")) / "drive_c" / "ProgramData" / "kavenor"; }

void BM_DecisionBlocked(benchmark::State& state) {
  {
    std::lock_guard<std::recursive_mutex> lock(config_lock);
    active = 1;
    action = 0;
    report_on_allow = 0;
    config_rules.clear();
  }
  for (auto _ : state) benchmark::DoNotOptimize(vostusb_decision(kDeviceText.c_str()));
  std::lock_guard<std::recursive_mutex> lock(config_lock);
  active = 0;
}
BENCHMARK(BM_DecisionBlocked)->Unit(benchmark::kMicrosecond);

// Parts of it: the record with the logged-on users (every process's name and owner looked up), and
// an allowed decision without a report.
void BM_BuildDeviceRecord(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(build_device_record(kDeviceText));
}
BENCHMARK(BM_BuildDeviceRecord)->Unit(benchmark::kMicrosecond);

// The logged-on users alone: the process list, and each process's name from a cache kept across
// look-ups (checked against the process's start time) or from a fresh object each time.
void BM_EnumerateProcesses(benchmark::State& state) {
  CProcesses processes;
  std::vector<unsigned long> ids;
  for (auto _ : state) benchmark::DoNotOptimize(processes.EnumerateProcesses(ids));
  state.counters["processes"] = static_cast<double>(ids.size());
}
BENCHMARK(BM_EnumerateProcesses)->Unit(benchmark::kMicrosecond);

void BM_LoggedOnUsers(benchmark::State& state) {
  const bool kept = state.range(0) != 0;
  CProcesses warm;
  std::vector<std::u16string> users;
  for (auto _ : state) {
    if (kept) {
      benchmark::DoNotOptimize(warm.logged_on_users(users));
    } else {
      benchmark::DoNotOptimize(CProcesses().logged_on_users(users));
    }
  }
}
BENCHMARK(BM_LoggedOnUsers)->ArgName("cache_kept")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The record alone: parse, five texts, checksum, document; the user given.
void BM_BuildDeviceRecordGivenUser(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(build_device_record(kDeviceText, u"anna"));
}
BENCHMARK(BM_BuildDeviceRecordGivenUser)->Unit(benchmark::kMicrosecond);

void BM_DecisionAllowedWithoutReport(benchmark::State& state) {
  {
    std::lock_guard<std::recursive_mutex> lock(config_lock);
    active = 1;
    action = 1;
    report_on_allow = 0;
  }
  for (auto _ : state) benchmark::DoNotOptimize(vostusb_decision(kDeviceText.c_str()));
  std::lock_guard<std::recursive_mutex> lock(config_lock);
  active = 0;
}
BENCHMARK(BM_DecisionAllowedWithoutReport)->Unit(benchmark::kMicrosecond);

// The same three files with the bytes that one decision wrote, written with std::ofstream: the
// document replaced, the sighting appended, a new report file each time.
void BM_PlainWritesOfTheSameFiles(benchmark::State& state) {
  const fs::path data = data_folder();
  fs::remove_all(data);
  {
    std::lock_guard<std::recursive_mutex> lock(config_lock);
    active = 1;
    action = 0;
    report_on_allow = 0;
  }
  vostusb_decision(kDeviceText.c_str());
  {
    std::lock_guard<std::recursive_mutex> lock(config_lock);
    active = 0;
  }
  const std::string checksum = text::to_utf8(build_device_record(kDeviceText, u"").checksum);
  const std::string document = file_bytes(data / "vostusb" / "accept" / (checksum + ".json"));
  const std::string sighting = file_bytes(data / "vostusb" / "accept" / (checksum + ".txt"));
  std::string report;
  for (const auto& entry : fs::recursive_directory_iterator(data / "logs")) {
    if (entry.is_regular_file()) report = file_bytes(entry.path());
  }
  if (document.empty() || sighting.empty() || report.empty()) {
    state.SkipWithError("the decision wrote no files to compare with");
    return;
  }
  const fs::path folder = data / "plain";
  fs::create_directories(folder / "logs");
  long long n = 0;
  for (auto _ : state) {
    std::ofstream(folder / "device.json", std::ios::binary | std::ios::trunc).write(document.data(), document.size());
    std::ofstream(folder / "device.txt", std::ios::binary | std::ios::app).write(sighting.data(), sighting.size());
    std::ofstream(folder / "logs" / ("report-" + std::to_string(++n) + ".json"), std::ios::binary | std::ios::trunc)
        .write(report.data(), report.size());
  }
  state.counters["report_bytes"] = static_cast<double>(report.size());
}
BENCHMARK(BM_PlainWritesOfTheSameFiles)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  unsetenv("ALLUSERSPROFILE");
  return run_benchmarks_on_own_machine(argc, argv, "decision");
}
