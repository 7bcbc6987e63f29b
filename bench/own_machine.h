// The main of a benchmark program that works on the simulated host: the registered benchmarks run
// on a machine of their own, a fresh sim root in the temporary folder, removed afterwards. `at_end`
// runs after the benchmarks, while the machine is still there.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <system_error>

inline int run_benchmarks_on_own_machine(int argc, char** argv, const std::string& name,
                                         const std::function<void()>& at_end = {}) {
  namespace fs = std::filesystem;
  std::random_device random;
  const fs::path root = fs::temp_directory_path() / ("vostusb-" + name + "-bench-" + std::to_string(random()));
  fs::create_directories(root);
  setenv("VOSTUSB_SIM_ROOT", root.c_str(), 1);

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  if (at_end) at_end();
  benchmark::Shutdown();

  std::error_code ignored;
  fs::remove_all(root, ignored);
  return 0;
}
