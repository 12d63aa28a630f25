// The first send of a selector to a class, which misses the class's cache,
// walks the hierarchy and fills the cache, against the number of methods
// in the hierarchy; beside it, the cached send of the same selector to the
// same kind of receiver in the same run.
//
// Each argument pair is (depth of the chain above the receiver's class,
// methods per class). The selector sent is defined by the chain's root, so
// the look-up walks every level. Receivers' classes are fresh leaves that
// have received one other message already: they are initialised and have a
// cache, and the timed send is purely the miss and the fill.
#include <benchmark/benchmark.h>

#include <chrono>
#include <map>

#include "alloc_counter.h"
#include "class_factory.h"

namespace {

constexpr int kFillsPerIteration = 16;

bench::ClassFactory& factory() {
  static auto* f = new bench::ClassFactory;
  return *f;
}

// The last class of a chain of `depth` classes with `methods` methods
// each, built once per shape. The root defines target:.
Class chain(int depth, int methods) {
  static auto* chains = new std::map<std::pair<int, int>, Class>;
  auto key = std::make_pair(depth, methods);
  if (auto it = chains->find(key); it != chains->end()) return it->second;
  std::string prefix = "FillChain" + std::to_string(depth) + "x" + std::to_string(methods) + "L";
  std::vector<bench::SyntheticClass> synthetic;
  for (int level = 0; level < depth; ++level) {
    std::string name = prefix + std::to_string(level);
    std::string super = level == 0 ? "" : prefix + std::to_string(level - 1);
    auto names = bench::ClassFactory::method_names(name + "m", methods - (level == 0 ? 1 : 0));
    if (level == 0) names.push_back("target:");
    synthetic.push_back({name, super, names});
  }
  Class last = factory().add(synthetic).back();
  chains->emplace(key, last);
  return last;
}

// Fresh leaves under the chain, each with one instance that has received
// warm: (defined by the leaf) so that its class is initialised.
std::vector<id> fresh_receivers(Class parent, int count) {
  static int serial = 0;
  std::vector<bench::SyntheticClass> synthetic;
  synthetic.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i)
    synthetic.push_back({"FillLeaf" + std::to_string(serial++), class_getName(parent), {"warm:"}});
  std::vector<id> receivers;
  for (Class leaf : factory().add(synthetic)) {
    id object = class_createInstance(leaf, 0);
    msg<int>(object, SELECTOR(warm:), 0);
    receivers.push_back(object);
  }
  return receivers;
}

void set_counters(benchmark::State& state) {
  state.counters["depth"] = static_cast<double>(state.range(0));
  state.counters["methods_in_hierarchy"] = static_cast<double>(state.range(0) * state.range(1) + 1);
}

void CacheFill(benchmark::State& state) {
  Class parent = chain(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  std::vector<id> receivers =
      fresh_receivers(parent, kFillsPerIteration * static_cast<int>(state.max_iterations));
  size_t next = 0;
  unsigned long allocations = 0;
  for ([[maybe_unused]] auto _ : state) {
    unsigned long before = bench::allocations();
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kFillsPerIteration; ++i)
      benchmark::DoNotOptimize(msg<int>(receivers[next++], SELECTOR(target:), 1));
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    allocations += bench::allocations() - before;
    state.SetIterationTime(elapsed.count() / kFillsPerIteration);
  }
  set_counters(state);
  state.counters["allocs_per_fill"] = benchmark::Counter(
      static_cast<double>(allocations) / kFillsPerIteration, benchmark::Counter::kAvgIterations);
}

// The same send once the cache holds it, timed the same way.
void CachedAfterFill(benchmark::State& state) {
  Class parent = chain(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  static std::map<Class, id>* warmed = new std::map<Class, id>;
  id& object = (*warmed)[parent];
  if (object == nil) {
    object = fresh_receivers(parent, 1).front();
    msg<int>(object, SELECTOR(target:), 1);
  }
  for ([[maybe_unused]] auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kFillsPerIteration; ++i)
      benchmark::DoNotOptimize(msg<int>(object, SELECTOR(target:), 1));
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(elapsed.count() / kFillsPerIteration);
  }
  set_counters(state);
}

void shapes(benchmark::internal::Benchmark* b) {
  for (auto [depth, methods] : {std::pair{1, 1}, {1, 64}, {8, 8}, {64, 1}, {64, 8}})
    b->Args({depth, methods});
  b->UseManualTime()->Iterations(40);
}
BENCHMARK(CacheFill)->Apply(shapes);
BENCHMARK(CachedAfterFill)->Apply(shapes);

}  // namespace
