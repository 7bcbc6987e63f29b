// The main of a benchmark program that works on the simulated host: the registered benchmarks run
// on a machine of their own, a fresh sim root in the temporary folder, removed afterwards.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

inline int run_benchmarks_on_own_machine(int argc, char** argv, const std::string& name) {
  namespace fs = std::filesystem;
  std::random_device random;
  const fs::path root = fs::temp_directory_path() / ("vostusb-" + name + "-bench-" + std::to_string(random()));
  fs::create_directories(root);
  setenv("VOSTUSB_SIM_ROOT", root.c_str(), 1);

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  std::error_code ignored;
  fs::remove_all(root, ignored);
  return 0;
}
