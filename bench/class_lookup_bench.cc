// Looking a class up by name against one hash lookup of the same name in a
// standard hash map that holds the same names, in the same run. The
// runtime's table is filled with a realistic number of classes first.
// Both report the heap allocations they made per iteration.
#include <benchmark/benchmark.h>

#include <string>
#include <string_view>
#include <unordered_map>

#include "alloc_counter.h"
#include "class_factory.h"

namespace {

constexpr int kClasses = 1000;

// The names looked up: a short one, a typical framework name and a long
// one, all registered.
const char* const kNames[] = {"NSView", "BenchClass500", "BenchVeryLongClassNameForLookup"};

struct Fixture {
  bench::ClassFactory factory;
  std::unordered_map<std::string_view, Class> baseline;

  Fixture() {
    std::vector<bench::SyntheticClass> synthetic;
    synthetic.push_back({"NSView", "", {}});
    synthetic.push_back({"BenchVeryLongClassNameForLookup", "", {}});
    for (int i = 0; i < kClasses; ++i) synthetic.push_back({"BenchClass" + std::to_string(i), "", {}});
    std::vector<Class> classes = factory.add(synthetic);
    for (Class cls : classes) baseline.emplace(class_getName(cls), cls);
  }
};

Fixture& fixture() {
  static Fixture* f = new Fixture;
  return *f;
}

// One hash lookup of the name, out of line as objc_getClass is (so that
// instruction counts can be taken per call of either).
[[gnu::noinline]] Class hash_map_find(const std::unordered_map<std::string_view, Class>& map,
                                      const char* name) {
  auto it = map.find(std::string_view(name));
  return it != map.end() ? it->second : Nil;
}

void HashMapLookup(benchmark::State& state) {
  auto& map = fixture().baseline;
  const char* name = kNames[state.range(0)];
  benchmark::DoNotOptimize(&name);
  unsigned long before = bench::allocations();
  for ([[maybe_unused]] auto _ : state) benchmark::DoNotOptimize(hash_map_find(map, name));
  bench::report_allocations(state, before);
}
BENCHMARK(HashMapLookup)->DenseRange(0, 2);

void GetClass(benchmark::State& state) {
  fixture();
  const char* name = kNames[state.range(0)];
  benchmark::DoNotOptimize(&name);
  unsigned long before = bench::allocations();
  for ([[maybe_unused]] auto _ : state) benchmark::DoNotOptimize(objc_getClass(name));
  bench::report_allocations(state, before);
}
BENCHMARK(GetClass)->DenseRange(0, 2);

// A name that is not registered: the miss ends at the first empty slot.
void HashMapMiss(benchmark::State& state) {
  auto& map = fixture().baseline;
  const char* name = "NSNoSuchClass";
  benchmark::DoNotOptimize(&name);
  for ([[maybe_unused]] auto _ : state) benchmark::DoNotOptimize(hash_map_find(map, name));
}
BENCHMARK(HashMapMiss);

void GetClassMiss(benchmark::State& state) {
  fixture();
  const char* name = "NSNoSuchClass";
  benchmark::DoNotOptimize(&name);
  unsigned long before = bench::allocations();
  for ([[maybe_unused]] auto _ : state) benchmark::DoNotOptimize(objc_getClass(name));
  bench::report_allocations(state, before);
}
BENCHMARK(GetClassMiss);

}  // namespace
