// Posing against the number of classes registered, and the re-fill of a
// cache that posing flushed. Posing cannot be undone and classes cannot be
// unregistered, so every measurement runs in a fresh child process (this
// program started again with --child), which registers its classes, fills
// every class's cache, poses once and prints what it timed. The parent
// reports the children's own figures as manual time; process start-up is
// not in them.
//
// Arguments: (classes beside the replaced class, how many of them are its
// direct subclasses). Every class is a subclass of one root.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "alloc_counter.h"
#include "class_factory.h"

namespace {

const char* g_self = nullptr;  // this program's path, for the children

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The child: prints "pose_seconds refill_seconds pose_allocations".
int run_child(long others, long subclasses) {
  bench::ClassFactory factory;
  std::vector<bench::SyntheticClass> synthetic;
  synthetic.push_back({"PoseRoot", "", bench::ClassFactory::method_names("root", 8)});
  synthetic.back().methods.push_back("ping:");
  synthetic.push_back({"PoseReplaced", "PoseRoot", bench::ClassFactory::method_names("replaced", 8)});
  synthetic.push_back({"PosePoser", "PoseReplaced", {"ping:"}});
  for (long i = 0; i < others; ++i)
    synthetic.push_back({"PoseOther" + std::to_string(i), i < subclasses ? "PoseReplaced" : "PoseRoot",
                         bench::ClassFactory::method_names("other", 2)});
  std::vector<Class> classes = factory.add(synthetic);

  // Every class has cached something, as in a running application.
  std::vector<id> objects;
  for (Class cls : classes) {
    objects.push_back(class_createInstance(cls, 0));
    msg<int>(objects.back(), SELECTOR(ping:), 0);
  }
  // The receiver of the re-fill: a subclass of the replaced class if there
  // is one (it then inherits through the poser), else an existing instance
  // of the replaced class.
  id refill_receiver = subclasses > 0 ? objects[3] : objects[1];

  unsigned long allocations_before = bench::allocations();
  auto start = std::chrono::steady_clock::now();
  class_poseAs(classes[2], classes[1]);
  double pose = seconds_since(start);
  unsigned long pose_allocations = bench::allocations() - allocations_before;

  start = std::chrono::steady_clock::now();
  benchmark::DoNotOptimize(msg<int>(refill_receiver, SELECTOR(ping:), 1));
  double refill = seconds_since(start);
  std::printf("%.9f %.9f %lu\n", pose, refill, pose_allocations);
  return 0;
}

struct ChildResult {
  double pose = 0, refill = 0;
  unsigned long allocations = 0;
};

bool run_in_child(long others, long subclasses, ChildResult& result) {
  std::string command =
      std::string("'") + g_self + "' --child " + std::to_string(others) + " " + std::to_string(subclasses);
  std::FILE* child = popen(command.c_str(), "r");
  if (child == nullptr) return false;
  int fields = std::fscanf(child, "%lf %lf %lu", &result.pose, &result.refill, &result.allocations);
  return pclose(child) == 0 && fields == 3;
}

template <bool kRefill>
void Measure(benchmark::State& state) {
  long others = state.range(0), subclasses = state.range(1);
  double allocations = 0;
  for ([[maybe_unused]] auto _ : state) {
    ChildResult result;
    if (!run_in_child(others, subclasses, result)) {
      state.SkipWithError("the child process failed");
      return;
    }
    state.SetIterationTime(kRefill ? result.refill : result.pose);
    allocations += static_cast<double>(result.allocations);
  }
  state.counters["classes"] = static_cast<double>(others + 3);
  state.counters["subclasses"] = static_cast<double>(subclasses + 1);
  if (!kRefill)
    state.counters["allocs_per_pose"] = benchmark::Counter(allocations, benchmark::Counter::kAvgIterations);
}

void Posing(benchmark::State& state) { Measure<false>(state); }
void RefillAfterPosing(benchmark::State& state) { Measure<true>(state); }

void sizes(benchmark::internal::Benchmark* b) {
  for (long n : {1L, 100L, 10000L}) b->Args({n, 0});
  for (long n : {100L, 10000L}) b->Args({n, n});
  b->UseManualTime()->Iterations(15);
}
BENCHMARK(Posing)->Apply(sizes);
BENCHMARK(RefillAfterPosing)->Apply(sizes);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--child") == 0)
    return run_child(std::atol(argv[2]), std::atol(argv[3]));
  g_self = argv[0];
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
