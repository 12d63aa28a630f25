// Loading the bundle, from the host's -load to the end of the entry
// class's load (which turns the patches on), against loading an empty
// module of the same build. A module loads once per process, so every
// measurement is a fresh child process (this program started again with
// --child PATH) that sets up like a host, times its own -load and prints
// the seconds; the parent reports those as manual time.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "AppKit/AppKit.h"
#include "Foundation/Foundation.h"

namespace {

const char* g_self = nullptr;

int run_child(const char* bundle_path) {
  id pool = msg<id>(msg<id>(objc_getClass("NSAutoreleasePool"), SELECTOR(alloc)), SELECTOR(init));
  // Naming NSApp keeps the program linked to AppKit, which a host has
  // loaded and registered long before it loads a bundle.
  msg<id>(objc_getClass("NSApplication"), SELECTOR(sharedApplication));
  if (NSApp == nil) {
    std::fprintf(stderr, "no application object: AppKit is not registered\n");
    return 1;
  }
  id bundle = msg<id>(objc_getClass("NSBundle"), SELECTOR(bundleWithPath:), NSStringFromUTF8(bundle_path));
  auto start = std::chrono::steady_clock::now();
  BOOL loaded = msg<BOOL>(bundle, SELECTOR(load));
  std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  if (!loaded) {
    id why = msg<id>(bundle, SELECTOR(loadErrorDescription));
    std::fprintf(stderr, "cannot load %s: %s\n", bundle_path, why != nil ? NSStringToStd(why).c_str() : "?");
    return 1;
  }
  std::printf("%.9f\n", elapsed.count());
  msg<void>(pool, SELECTOR(drain));
  return 0;
}

void BundleLoad(benchmark::State& state, const char* bundle_path) {
  std::string command = std::string("'") + g_self + "' --child '" + bundle_path + "'";
  for ([[maybe_unused]] auto _ : state) {
    double seconds = 0;
    std::FILE* child = popen(command.c_str(), "r");
    int fields = child != nullptr ? std::fscanf(child, "%lf", &seconds) : 0;
    if (child == nullptr || pclose(child) != 0 || fields != 1) {
      state.SkipWithError("the child process failed");
      return;
    }
    state.SetIterationTime(seconds);
  }
}
BENCHMARK_CAPTURE(BundleLoad, empty, EMPTY_BUNDLE)
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BundleLoad, corvane, CORVANE_BUNDLE)
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--child") == 0) return run_child(argv[2]);
  g_self = argv[0];
  // The children read defaults from an empty directory of their own, so
  // that the bundle's fallbacks (both patches on) apply.
  auto dir = std::filesystem::temp_directory_path() / ("corvane-load-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  setenv("USER_DEFAULTS_DIR", dir.c_str(), 1);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(dir);
  return 0;
}
