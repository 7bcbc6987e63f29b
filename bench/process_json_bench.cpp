// The process's JSON value against nlohmann::json on the same documents: a rule file of 1,000 rules
// and a product configuration, read and written. nlohmann reads the UTF-8 form of the same text and
// writes with indent 4, the nearest to the process's layout. Besides time, each read reports the heap
// bytes the parsed tree keeps ("tree_bytes") and the allocations made while reading ("allocs").
//
// The rule-file reads also run at 100 to 10,000 rules with a complexity fit, to show that reading is
// linear in the size of the text.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <memory>
#include <new>
#include <nlohmann/json.hpp>
#include <string>

#include "json/json_node.h"
#include "text/format.h"
#include "text/utf.h"

// --- Heap accounting: every operator new goes through here --------------------------------------

namespace {
std::atomic<long long> g_live_bytes{0};
std::atomic<long long> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  g_live_bytes += static_cast<long long>(malloc_usable_size(p));
  ++g_allocations;
  return p;
}

void operator delete(void* p) noexcept {
  if (!p) return;
  g_live_bytes -= static_cast<long long>(malloc_usable_size(p));
  std::free(p);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

struct HeapUse {
  long long bytes;
  long long allocations;
};

// What `make` keeps on the heap, and how many allocations it made, while its result is alive.
template <class Make>
HeapUse heap_use_of(Make make) {
  const long long bytes_before = g_live_bytes;
  const long long allocations_before = g_allocations;
  auto kept = make();
  HeapUse use{g_live_bytes - bytes_before, g_allocations - allocations_before};
  benchmark::DoNotOptimize(kept);
  return use;
}

// --- The documents ------------------------------------------------------------------------------

struct Document {
  std::u16string utf16;
  std::string utf8;
};

Document from_tree(const CJsonNode& doc) {
  Document d{doc.serialise(), {}};
  d.utf8 = text::to_utf8(d.utf16);
  return d;
}

CJsonNode make_rule(int i) {
  static const char16_t* const kMakers[] = {u"Kingston", u"SanDisk", u"Logitech", u"HP", u"Verbatim", u"Goodram", u"Microsoft"};
  static const char16_t* const kProducts[] = {u"DataTraveler 3.0", u"Cruzer Blade", u"USB Receiver", u"LaserJet M140w",
                                              u"Store 'n' Go", u"UME2", u"Wired Keyboard 600"};
  static const char16_t* const kClasses[] = {u"DiskDrive", u"DiskDrive", u"HIDClass", u"Printer", u"DiskDrive", u"USB", u"Keyboard"};
  static const char16_t* const kDescriptions[] = {u"Pamięć masowa USB", u"Urządzenie pamięci masowej USB",
                                                  u"Urządzenie wejściowe USB", u"Drukarka \"biurowa\" USB",
                                                  u"USB Mass Storage Device", u"Koncentrator główny USB",
                                                  u"Klawiatura HID"};
  const int k = i % 7;
  CJsonNode rule;
  rule.set_string(u"producent", std::u16string(u"=") + kMakers[k]);
  rule.set_string(u"produkt", std::u16string(u"=") + kProducts[k]);
  rule.set_string(u"numer", text::format(u"=%08X%04X", 0x60A44C3Fu + i * 7919u, i));
  rule.set_string(u"klasa", kClasses[k]);
  rule.set_string(u"opis", i % 3 ? std::u16string(kDescriptions[k]) : std::u16string());
  if (i % 5 == 0) rule.set_string(u"dyski", u"EF");
  CJsonNode pair;
  pair.append_node(std::move(rule));
  pair.append_integer(i % 4 == 0 ? 0 : 1);
  return pair;
}

const Document& rule_file(int rules) {
  static std::map<int, Document> cache;
  auto it = cache.find(rules);
  if (it != cache.end()) return it->second;
  CJsonNode doc;
  CJsonNode& list = doc[u"rules"];
  for (int i = 0; i < rules; ++i) list.append_node(make_rule(i));
  return cache.emplace(rules, from_tree(doc)).first->second;
}

// The product configuration as the monitor hands it out: the "usb" section the process reads, among
// the sections of the suite's other modules.
const Document& configuration() {
  static const Document document = [] {
    CJsonNode doc;
    CJsonNode& usb = doc[u"usb"];
    for (const char16_t* key : {u"active", u"allow_io", u"allow_printers", u"allow_network", u"report_on_allow", u"allow_initial"})
      usb.set_integer(key, 1);
    usb.set_integer(u"action", 2);
    for (int i = 0; i < 40; ++i) usb[u"rules"].append_node(make_rule(i));
    CJsonNode& av = doc[u"av"];
    av.set_integer(u"enabled", 1);
    av.set_integer(u"level", 3);
    av.set_boolean(u"scan_archives", true);
    av[u"schedule"].set_string(u"time", u"02:30");
    av[u"schedule"].set_integer(u"days", 127);
    for (int i = 0; i < 30; ++i) av[u"exclusions"].append_string(text::format(u"C:\\Users\\Public\\Dokumenty\\archiwum_%i\\*.log", i));
    CJsonNode& firewall = doc[u"firewall"];
    firewall.set_integer(u"enabled", 1);
    for (int i = 0; i < 80; ++i) {
      CJsonNode app;
      app.set_string(u"path", text::format(u"C:\\Program Files\\Aplikacja %i\\bin\\program%i.exe", i, i));
      app.set_boolean(u"allow", i % 9 != 0);
      app.set_integer(u"ports", 1024 + i);
      firewall[u"apps"].append_node(std::move(app));
    }
    CJsonNode& update = doc[u"update"];
    update.set_string(u"server", u"https://update.example.com/kavenor/");
    update.set_integer(u"interval", 3600);
    update[u"proxy"].set_string(u"host", u"");
    update[u"proxy"].set_integer(u"port", 0);
    doc[u"ui"].set_string(u"language", u"pl");
    doc[u"ui"].set_boolean(u"notifications", true);
    return from_tree(doc);
  }();
  return document;
}

// --- Benchmarks ---------------------------------------------------------------------------------

std::unique_ptr<CJsonNode> process_parse(const Document& d) {
  auto doc = std::make_unique<CJsonNode>();
  doc->parse(d.utf16);
  return doc;
}

void report(benchmark::State& state, const Document& d, HeapUse use) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.utf8.size()));
  state.counters["text_bytes_utf8"] = static_cast<double>(d.utf8.size());
  state.counters["tree_bytes"] = static_cast<double>(use.bytes);
  state.counters["allocs"] = static_cast<double>(use.allocations);
}

void process_read(benchmark::State& state, const Document& d) {
  for (auto _ : state) {
    CJsonNode doc;
    doc.parse(d.utf16);
    benchmark::DoNotOptimize(doc);
  }
  report(state, d, heap_use_of([&] { return process_parse(d); }));
}

void nlohmann_read(benchmark::State& state, const Document& d) {
  for (auto _ : state) {
    nlohmann::json doc = nlohmann::json::parse(d.utf8);
    benchmark::DoNotOptimize(doc);
  }
  report(state, d, heap_use_of([&] { return nlohmann::json::parse(d.utf8); }));
}

void process_write(benchmark::State& state, const Document& d) {
  const auto doc = process_parse(d);
  for (auto _ : state) benchmark::DoNotOptimize(doc->serialise());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.utf8.size()));
}

void nlohmann_write(benchmark::State& state, const Document& d) {
  const nlohmann::json doc = nlohmann::json::parse(d.utf8);
  for (auto _ : state) benchmark::DoNotOptimize(doc.dump(4));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.utf8.size()));
}

void BM_ProcessReadRules(benchmark::State& state) { process_read(state, rule_file(1000)); }
void BM_NlohmannReadRules(benchmark::State& state) { nlohmann_read(state, rule_file(1000)); }
void BM_ProcessWriteRules(benchmark::State& state) { process_write(state, rule_file(1000)); }
void BM_NlohmannWriteRules(benchmark::State& state) { nlohmann_write(state, rule_file(1000)); }
void BM_ProcessReadConfiguration(benchmark::State& state) { process_read(state, configuration()); }
void BM_NlohmannReadConfiguration(benchmark::State& state) { nlohmann_read(state, configuration()); }
void BM_ProcessWriteConfiguration(benchmark::State& state) { process_write(state, configuration()); }
void BM_NlohmannWriteConfiguration(benchmark::State& state) { nlohmann_write(state, configuration()); }

void BM_ProcessReadRulesScaling(benchmark::State& state) {
  process_read(state, rule_file(static_cast<int>(state.range(0))));
  state.SetComplexityN(state.range(0));
}
void BM_ProcessWriteRulesScaling(benchmark::State& state) {
  process_write(state, rule_file(static_cast<int>(state.range(0))));
  state.SetComplexityN(state.range(0));
}

}  // namespace

BENCHMARK(BM_ProcessReadRules)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NlohmannReadRules)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProcessWriteRules)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NlohmannWriteRules)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProcessReadConfiguration)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NlohmannReadConfiguration)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProcessWriteConfiguration)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NlohmannWriteConfiguration)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProcessReadRulesScaling)->RangeMultiplier(10)->Range(100, 10000)->Complexity(benchmark::oN)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProcessWriteRulesScaling)->RangeMultiplier(10)->Range(100, 10000)->Complexity(benchmark::oN)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  // Fixed heap thresholds: glibc otherwise adapts them as large blocks are freed, so that whichever
  // benchmark first writes a large text pays page faults that the later ones do not.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
