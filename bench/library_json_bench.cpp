// The library's JSON value against a well-known C++ JSON library (the reference) on the same
// document: a list of 50 device documents shaped as the library writes them. Load (file to tree),
// write (tree to compact text), save (tree to file), and parse alone (text in memory to tree).
// The library reads and writes UTF-16LE files through the platform layer (the simulated host in
// this build); the reference reads and writes the same text as UTF-8 with the standard streams.
//
// Memory: a counting global operator new measures the bytes a parsed tree keeps (live after the
// parse) and what the parse allocated in all, for both. The summary at the end gives the ratios
// library / reference (time and memory; above 1 the library costs more).
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <new>
#include <random>
#include <string>

#include "library/json/json_holder.h"
#include "library/json/json_parser.h"
#include "text/format.h"
#include "text/utf.h"

// --- Counting allocator ---------------------------------------------------------------------

namespace {

std::atomic<std::size_t> g_live_bytes{0};
std::atomic<std::size_t> g_allocated_bytes{0};
std::atomic<std::size_t> g_allocations{0};

// Each block carries its size in front, so delete knows how much goes.
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* counted_alloc(std::size_t size) {
  void* block = std::malloc(size + kHeader);
  if (!block) throw std::bad_alloc();
  *static_cast<std::size_t*>(block) = size;
  g_live_bytes += size;
  g_allocated_bytes += size;
  ++g_allocations;
  return static_cast<char*>(block) + kHeader;
}

void counted_free(void* p) noexcept {
  if (!p) return;
  void* block = static_cast<char*>(p) - kHeader;
  g_live_bytes -= *static_cast<std::size_t*>(block);
  std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return counted_alloc(size); }
void* operator new[](std::size_t size) { return counted_alloc(size); }
void operator delete(void* p) noexcept { counted_free(p); }
void operator delete[](void* p) noexcept { counted_free(p); }
void operator delete(void* p, std::size_t) noexcept { counted_free(p); }
void operator delete[](void* p, std::size_t) noexcept { counted_free(p); }

namespace {

using VostUsbWardenManager::JsonHolder;

// --- The document -----------------------------------------------------------------------------

class DeviceListBuilder {
 public:
  explicit DeviceListBuilder(unsigned seed) : random_(seed) {}

  JsonHolder Build(int devices) {
    JsonHolder list = JsonHolder::CreateArray();
    for (int i = 0; i < devices; ++i) list.Add(Device(i));
    return list;
  }

 private:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  static void Put(JsonHolder& object, const char16_t* name, double value) { object.Add(name, new JsonHolder(value)); }
  static void Put(JsonHolder& object, const char16_t* name, const std::u16string& value) {
    object.Add(name, new JsonHolder(value));
  }
  static JsonHolder* NewObject() { return new JsonHolder(JsonHolder::CreateObject()); }
  static JsonHolder* NewArray() { return new JsonHolder(JsonHolder::CreateArray()); }

  JsonHolder* Endpoint(int address) {
    JsonHolder* e = NewObject();
    Put(*e, u"bDescriptorType", 5);
    Put(*e, u"bEndpointAddress", address);
    Put(*e, u"bInterval", Pick(2) ? 10 : 0);
    Put(*e, u"bLength", 7);
    Put(*e, u"bmAttributes", Pick(2) ? 2 : 3);
    Put(*e, u"wMaxPacketSize", Pick(2) ? 64 : 512);
    return e;
  }

  JsonHolder* Descriptor(int vid, int pid, bool storage, const std::u16string& serial) {
    JsonHolder* d = NewObject();
    JsonHolder* interface = NewObject();
    JsonHolder* endpoints = interface->Add(u"EndPoints", NewArray());
    endpoints->Add(Endpoint(129));
    if (storage) endpoints->Add(Endpoint(2));
    Put(*interface, u"Interface", storage ? u"Mass Storage" : u"HID Interface");
    Put(*interface, u"bAlternateSetting", 0);
    Put(*interface, u"bDescriptorType", 4);
    Put(*interface, u"bInterfaceClass", storage ? 8 : 3);
    Put(*interface, u"bInterfaceNumber", 0);
    Put(*interface, u"bInterfaceProtocol", storage ? 80 : 2);
    Put(*interface, u"bInterfaceSubClass", storage ? 6 : 1);
    Put(*interface, u"bLength", 9);
    Put(*interface, u"bNumEndpoints", storage ? 2 : 1);
    Put(*interface, u"iInterface", 4);
    JsonHolder* configuration = NewObject();
    configuration->Add(u"Interfaces", NewArray())->Add(interface);
    Put(*configuration, u"MaxPower", 50);
    Put(*configuration, u"bConfigurationValue", 1);
    Put(*configuration, u"bDescriptorType", 2);
    Put(*configuration, u"bLength", 9);
    Put(*configuration, u"bNumInterfaces", 1);
    Put(*configuration, u"bmAttributes", 160);
    Put(*configuration, u"iConfiguration", 0);
    Put(*configuration, u"wTotalLength", storage ? 32 : 34);
    d->Add(u"Configurations", NewArray())->Add(configuration);
    Put(*d, u"Manufacturer", storage ? u"Pamięć Sp. z o.o." : u"Logitech");
    Put(*d, u"Product", storage ? u"USB Flash Disk" : u"USB Optical Mouse");
    Put(*d, u"SerialNumber", serial);
    Put(*d, u"bDescriptorType", 1);
    Put(*d, u"bDeviceClass", 0);
    Put(*d, u"bDeviceProtocol", 0);
    Put(*d, u"bDeviceSubClass", 0);
    Put(*d, u"bLength", 18);
    Put(*d, u"bMaxPacketSize0", 64);
    Put(*d, u"bNumConfigurations", 1);
    Put(*d, u"bcdDevice", 0x7200);
    Put(*d, u"bcdUSB", 0x200);
    Put(*d, u"iManufacturer", 1);
    Put(*d, u"iProduct", 2);
    Put(*d, u"iSerialNumber", 3);
    Put(*d, u"idProduct", pid);
    Put(*d, u"idVendor", vid);
    return d;
  }

  JsonHolder* Properties(int vid, int pid, bool storage, int index) {
    JsonHolder* p = NewObject();
    const std::u16string ids = text::format(u"USB\\VID_%04X&PID_%04X", vid, pid);
    Put(*p, u"BusNumber", 0);
    JsonHolder* guid = p->Add(u"BusTypeGuid", NewObject());
    Put(*guid, u"Data1", 2642280000.0);
    Put(*guid, u"Data2", 48930);
    Put(*guid, u"Data3", 4560);
    JsonHolder* data4 = guid->Add(u"Data4", NewArray());
    for (int b : {140, 134, 0, 160, 201, 31, 205, 66}) data4->Add(new JsonHolder(b));
    Put(*p, u"ClassGuid", storage ? u"{36fc9e60-c465-11cf-8056-444553540000}" : u"{745a17a0-74d3-11d0-b6fe-00a0c90f57da}");
    Put(*p, u"ClassName", storage ? u"USB" : u"HIDClass");
    JsonHolder* compatible = p->Add(u"CompatibleIDs", NewArray());
    compatible->Add(new JsonHolder(text::format(u"USB\\Class_%02x&SubClass_%02x&Prot_%02x", storage ? 8 : 3, storage ? 6 : 1, storage ? 80 : 2)));
    compatible->Add(new JsonHolder(text::format(u"USB\\Class_%02x", storage ? 8 : 3)));
    Put(*p, u"DeviceDescription", storage ? u"Urządzenie pamięci masowej USB" : u"Urządzenie wejściowe USB");
    Put(*p, u"DriverKeyName", text::format(u"{36fc9e60-c465-11cf-8056-444553540000}\\%04d", index));
    Put(*p, u"EnumeratorName", u"USB");
    Put(*p, u"FriendlyName", storage ? u"Pendrive" : u"Mysz");
    JsonHolder* hardware = p->Add(u"HardwareID", NewArray());
    hardware->Add(new JsonHolder(ids + u"&REV_7200"));
    hardware->Add(new JsonHolder(ids));
    Put(*p, u"InstallState", u"InstallStateInstalled");
    Put(*p, u"LegacyBusType", u"PNPBus");
    Put(*p, u"LocationInformation", text::format(u"Port_#%04d.Hub_#%04d", 1 + index % 8, 1 + index / 8));
    Put(*p, u"Manufacturer", u"(Standardowe urządzenia USB)");
    Put(*p, u"PhysicalDeviceObjectName", text::format(u"\\Device\\USBPDO-%d", index));
    Put(*p, u"RemovalPolicy", u"RemovalPolicyExpectSurpriseRemoval");
    Put(*p, u"UINumber", index);
    return p;
  }

  JsonHolder* Device(int index) {
    const bool storage = Pick(2) == 0;
    const int vid = storage ? 0x0951 : 0x046D, pid = 0x1000 + Pick(0x8000);
    const std::u16string serial = text::format(u"%08X%04X", static_cast<unsigned>(random_()), index);
    JsonHolder* doc = NewObject();
    JsonHolder* connection = doc->Add(u"ConnectionInformation", NewObject());
    Put(*connection, u"ConnectionIndex", 1 + index % 8);
    Put(*connection, u"ConnectionStatus", u"DeviceConnected");
    Put(*connection, u"CurrentConfigurationValue", 1);
    Put(*connection, u"DeviceAddress", 2 + index);
    connection->Add(u"DeviceDescriptor", Descriptor(vid, pid, storage, serial));
    Put(*connection, u"DeviceIsHub", 0);
    Put(*connection, u"NumberOfOpenPipes", storage ? 2 : 1);
    JsonHolder* pipes = connection->Add(u"PipeList", NewArray());
    for (int p = 0; p < (storage ? 2 : 1); ++p) {
      JsonHolder* pipe = pipes->Add(NewObject());
      pipe->Add(u"EndpointDescriptor", Endpoint(p == 0 ? 129 : 2));
      Put(*pipe, u"ScheduleOffset", 0);
    }
    Put(*connection, u"Speed", 2);
    Put(*doc, u"DEVINST", 1 + Pick(4000));
    doc->Add(u"DeviceDescriptor", Descriptor(vid, pid, storage, serial));
    doc->Add(u"DeviceProperty", Properties(vid, pid, storage, index));
    Put(*doc, u"DriveLetters", storage ? std::u16string(1, static_cast<char16_t>(u'E' + index % 20)) : u"");
    doc->Add(u"IsHub", new JsonHolder(false));
    Put(*doc, u"PortNumberOfBus", 1 + index % 8);
    return doc;
  }

  std::mt19937 random_;
};

// --- Fixture: the same document in both forms, on disk and in memory --------------------------

struct Fixture {
  std::filesystem::path dir;
  std::u16string utf16_text;
  std::string utf8_text;
  JsonHolder library_tree;
  nlohmann::json reference_tree;
  std::u16string library_file;  // product path of the UTF-16LE file
  std::string reference_file;   // native path of the UTF-8 file

  Fixture() {
    dir = std::filesystem::temp_directory_path() / ("vostusb-bench-" + std::to_string(std::random_device()()));
    std::filesystem::create_directories(dir);
    setenv("VOSTUSB_SIM_ROOT", (dir / "sim").c_str(), 1);
    library_tree = DeviceListBuilder(42).Build(50);
    utf16_text = library_tree.ToString();
    utf8_text = text::to_utf8_display(utf16_text);
    reference_tree = nlohmann::json::parse(utf8_text);
    library_file = u"Z:" + text::from_utf8((dir / "list16.json").string());
    for (char16_t& c : library_file) {
      if (c == u'/') c = u'\\';
    }
    reference_file = (dir / "list8.json").string();
    std::u16string status;
    if (library_tree.SaveToFile(library_file, status) != 0) {
      std::fprintf(stderr, "cannot write the document: %s\n", text::to_utf8_display(status).c_str());
      std::exit(1);
    }
    std::ofstream(reference_file, std::ios::binary) << utf8_text;
  }
  ~Fixture() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

// --- Benchmarks --------------------------------------------------------------------------------

void Library_Load(benchmark::State& state) {
  for (auto _ : state) {
    JsonHolder tree;
    std::u16string status;
    if (JsonHolder::LoadFromFile(fixture().library_file, tree, status) != 0) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(tree);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fixture().utf16_text.size() * 2));
}

void Reference_Load(benchmark::State& state) {
  for (auto _ : state) {
    std::ifstream in(fixture().reference_file, std::ios::binary);
    nlohmann::json tree = nlohmann::json::parse(in);
    benchmark::DoNotOptimize(tree);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fixture().utf8_text.size()));
}

void Library_Parse(benchmark::State& state) {
  for (auto _ : state) {
    JsonHolder tree;
    std::u16string status;
    VostUsbWardenManager::ParseCodeUnits(fixture().utf16_text, tree, status);
    benchmark::DoNotOptimize(tree);
  }
}

void Reference_Parse(benchmark::State& state) {
  for (auto _ : state) {
    nlohmann::json tree = nlohmann::json::parse(fixture().utf8_text);
    benchmark::DoNotOptimize(tree);
  }
}

void Library_Write(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(fixture().library_tree.ToString());
}

void Reference_Write(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(fixture().reference_tree.dump());
}

void Library_Save(benchmark::State& state) {
  const std::u16string path = fixture().library_file + u".out";
  for (auto _ : state) {
    std::u16string status;
    if (fixture().library_tree.SaveToFile(path, status) != 0) state.SkipWithError("save failed");
  }
}

void Reference_Save(benchmark::State& state) {
  const std::string path = fixture().reference_file + ".out";
  for (auto _ : state) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << fixture().reference_tree.dump();
  }
}

BENCHMARK(Library_Load)->Unit(benchmark::kMicrosecond);
BENCHMARK(Reference_Load)->Unit(benchmark::kMicrosecond);
BENCHMARK(Library_Parse)->Unit(benchmark::kMicrosecond);
BENCHMARK(Reference_Parse)->Unit(benchmark::kMicrosecond);
BENCHMARK(Library_Write)->Unit(benchmark::kMicrosecond);
BENCHMARK(Reference_Write)->Unit(benchmark::kMicrosecond);
BENCHMARK(Library_Save)->Unit(benchmark::kMicrosecond);
BENCHMARK(Reference_Save)->Unit(benchmark::kMicrosecond);

// --- Memory and the summary ---------------------------------------------------------------------

struct Allocation {
  std::size_t kept;       // live after the parse: the tree
  std::size_t allocated;  // everything the parse allocated, freed or not
  std::size_t blocks;
};

template <class Parse>
Allocation Measure(Parse parse) {
  const std::size_t live = g_live_bytes, total = g_allocated_bytes, count = g_allocations;
  auto tree = parse();
  Allocation a{g_live_bytes - live, g_allocated_bytes - total, g_allocations - count};
  benchmark::DoNotOptimize(tree);
  return a;
}

// Records the times of each benchmark (the median when repeated) and prints the ratios after the
// table: wall-clock time, and processor time, which is steadier on a machine shared with others.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      times_[run.run_name.function_name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nlibrary / reference (us):      wall                         cpu\n");
    for (const char* what : {"Load", "Parse", "Write", "Save"}) {
      const auto l = times_.find(std::string("Library_") + what), r = times_.find(std::string("Reference_") + what);
      if (l == times_.end() || r == times_.end()) continue;
      const auto [lw, lc] = l->second;
      const auto [rw, rc] = r->second;
      std::printf("  %-6s %8.0f / %8.0f = %.2f      %8.0f / %8.0f = %.2f\n", what, lw, rw, lw / rw, lc, rc, lc / rc);
    }
  }

 private:
  std::map<std::string, std::pair<double, double>> times_;
};

void PrintMemory() {
  fixture();  // built first, so that only the parses are counted
  const Allocation library = Measure([] {
    JsonHolder tree;
    std::u16string status;
    VostUsbWardenManager::ParseCodeUnits(fixture().utf16_text, tree, status);
    return tree;
  });
  const Allocation reference = Measure([] { return nlohmann::json::parse(fixture().utf8_text); });
  std::printf("document: 50 device documents, %zu code units (UTF-16LE file %zu bytes, UTF-8 %zu bytes)\n",
              fixture().utf16_text.size(), fixture().utf16_text.size() * 2, fixture().utf8_text.size());
  std::printf("parsed tree kept:        library %8zu bytes, reference %8zu bytes; ratio %.2f\n", library.kept,
              reference.kept, static_cast<double>(library.kept) / reference.kept);
  std::printf("blocks allocated:        library %8zu,       reference %8zu;       ratio %.2f\n", library.blocks,
              reference.blocks, static_cast<double>(library.blocks) / reference.blocks);
  std::printf("allocated while parsing: library %8zu bytes, reference %8zu bytes; ratio %.2f\n\n", library.allocated,
              reference.allocated, static_cast<double>(library.allocated) / reference.allocated);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  PrintMemory();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
