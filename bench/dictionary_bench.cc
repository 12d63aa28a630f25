// Dictionaries: an NSMutableDictionary look-up at 16 and at 16,000 keys,
// which should cost the same, and reading a user-defaults domain of many
// keys from its file (parsing into a property-list dictionary and
// converting it to Foundation objects), with a fresh defaults object each
// time so that nothing is cached between reads; and that read with 65,536
// keys chosen to share one value of an unkeyed hash, against as many
// ordinary keys of the same length.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "Foundation/Foundation.h"
#include "alloc_counter.h"

namespace {

id make_string(const std::string& text) { return NSStringFromUTF8(text.c_str()); }

void DictionaryLookup(benchmark::State& state) {
  id pool = msg<id>(msg<id>(objc_getClass("NSAutoreleasePool"), SELECTOR(alloc)), SELECTOR(init));
  auto n = static_cast<int>(state.range(0));
  id dictionary = msg<id>(msg<id>(objc_getClass("NSMutableDictionary"), SELECTOR(alloc)), SELECTOR(init));
  std::vector<id> keys;
  for (int i = 0; i < n; ++i) {
    keys.push_back(make_string("DefaultsKey" + std::to_string(i)));
    msg<void>(dictionary, SELECTOR(setObject:forKey:), keys.back(), keys.back());
  }
  // Probe keys that are equal but not identical, as a caller's would be;
  // 16 of them spread over the dictionary.
  std::vector<id> probes;
  probes.reserve(16);
  for (int i = 0; i < 16; ++i) probes.push_back(make_string("DefaultsKey" + std::to_string(i * n / 16)));
  size_t next = 0;
  unsigned long before = bench::allocations();
  for ([[maybe_unused]] auto _ : state) {
    benchmark::DoNotOptimize(msg<id>(dictionary, SELECTOR(objectForKey:), probes[next]));
    next = (next + 1) & 15;
  }
  bench::report_allocations(state, before);
  msg<void>(dictionary, SELECTOR(release));
  msg<void>(pool, SELECTOR(drain));
}
BENCHMARK(DictionaryLookup)->Arg(16)->Arg(16000);

std::filesystem::path g_dir;

void DomainRead(benchmark::State& state) {
  auto n = static_cast<long>(state.range(0));
  std::string name = "Domain" + std::to_string(n);
  if (!std::filesystem::exists(g_dir / (name + ".plist"))) {
    std::ofstream file(g_dir / (name + ".plist"));
    file << "{\n";
    for (long i = 0; i < n; ++i) file << "    Key" << i << " = \"value " << i << "\";\n";
    file << "}\n";
  }
  for ([[maybe_unused]] auto _ : state) {
    id pool = msg<id>(msg<id>(objc_getClass("NSAutoreleasePool"), SELECTOR(alloc)), SELECTOR(init));
    id defaults = msg<id>(msg<id>(objc_getClass("NSUserDefaults"), SELECTOR(alloc)), SELECTOR(init));
    auto start = std::chrono::steady_clock::now();
    id domain = msg<id>(defaults, SELECTOR(persistentDomainForName:), make_string(name));
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (msg<NSUInteger>(domain, SELECTOR(count)) != static_cast<NSUInteger>(n)) {
      state.SkipWithError("the domain did not read back whole");
      return;
    }
    state.SetIterationTime(elapsed.count());
    msg<void>(defaults, SELECTOR(release));
    msg<void>(pool, SELECTOR(drain));
  }
}
BENCHMARK(DomainRead)->Arg(10000)->Arg(80000)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// Sixteen pairs of 4-byte blocks: from the state the blocks before it leave,
// either block of a pair leaves 32-bit FNV-1a (the unkeyed hash strings
// used to have) in one same state. A key picks one block of each pair, so
// 2^16 keys of 64 bytes share one value of that hash. (Found by a birthday
// search over blocks of letters and digits.)
const std::pair<const char*, const char*> kCollidingBlocks[16] = {
    {"l9On", "H8aa"}, {"mCCn", "q2aa"}, {"lCCn", "p2aa"}, {"lCCn", "p2aa"},
    {"lCCn", "p2aa"}, {"lCCn", "p2aa"}, {"lCCn", "p2aa"}, {"lCCn", "p2aa"},
    {"lCCn", "p2aa"}, {"lCCn", "p2aa"}, {"lCCn", "p2aa"}, {"lCCn", "p2aa"},
    {"lCCn", "p2aa"}, {"lCCn", "p2aa"}, {"lCCn", "p2aa"}, {"lCCn", "p2aa"}};

std::string colliding_key(long i) {
  std::string key;
  for (int block = 0; block < 16; ++block)
    key += (i >> block & 1) != 0 ? kCollidingBlocks[block].second : kCollidingBlocks[block].first;
  return key;
}
std::string ordinary_key(long i) {
  char key[65];
  std::snprintf(key, sizeof key, "Key%061ld", i);
  return key;
}
uint32_t unkeyed_hash(const std::string& text) {
  uint32_t h = 2166136261u;
  for (unsigned char c : text) h = (h ^ c) * 16777619u;
  return h;
}

// One read of a domain, as an application's first look-up makes it. Not
// inlined, so that scripts/bench-instructions can count it.
[[gnu::noinline]] NSUInteger read_domain(const std::string& name) {
  id pool = msg<id>(msg<id>(objc_getClass("NSAutoreleasePool"), SELECTOR(alloc)), SELECTOR(init));
  id defaults = msg<id>(msg<id>(objc_getClass("NSUserDefaults"), SELECTOR(alloc)), SELECTOR(init));
  id domain = msg<id>(defaults, SELECTOR(persistentDomainForName:), make_string(name));
  NSUInteger count = msg<NSUInteger>(domain, SELECTOR(count));
  msg<void>(defaults, SELECTOR(release));
  msg<void>(pool, SELECTOR(drain));
  return count;
}

// DomainReadOfKeys/<colliding>/<keys>: colliding 1 for keys that share one
// unkeyed hash, 0 for numbered keys of the same length.
void DomainReadOfKeys(benchmark::State& state) {
  bool colliding = state.range(0) != 0;
  long n = static_cast<long>(state.range(1));
  std::string name = (colliding ? "Colliding" : "Ordinary") + std::to_string(n);
  if (!std::filesystem::exists(g_dir / (name + ".plist"))) {
    std::ofstream file(g_dir / (name + ".plist"));
    file << "{\n";
    for (long i = 0; i < n; ++i) {
      std::string key = colliding ? colliding_key(i) : ordinary_key(i);
      if (colliding && unkeyed_hash(key) != unkeyed_hash(colliding_key(0))) {
        state.SkipWithError("the colliding keys do not share one unkeyed hash");
        return;
      }
      file << "    " << key << " = YES;\n";
    }
    file << "}\n";
  }
  for ([[maybe_unused]] auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    NSUInteger count = read_domain(name);
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (count != static_cast<NSUInteger>(n)) {
      state.SkipWithError("the domain did not read back whole");
      return;
    }
    state.SetIterationTime(elapsed.count());
  }
}
BENCHMARK(DomainReadOfKeys)
    ->ArgsProduct({{0, 1}, {65536}})
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  g_dir = std::filesystem::temp_directory_path() / ("corvane-dictionary-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(g_dir);
  setenv("USER_DEFAULTS_DIR", g_dir.c_str(), 1);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(g_dir);
  return 0;
}
